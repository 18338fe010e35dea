// The command line of the real programs: options, the refusals that protect
// data (same file, terminal), the removal of a named output on failure and
// on signals, concatenated streams, and the tools that call a compressor
// as `PROG` and `PROG -d` (tar -I, sort --compress-program).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <random>

#include "tests/program_support.h"

namespace {

const std::string vorn_ = bindir + "/vorn";
const std::string unvorn_ = bindir + "/unvorn";
const std::string vornbanner = "vorn Version 1.04 on stdin to stdout\n";
const std::string unvornbanner = "unvorn version 1.03a on stdin to stdout\n";

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::string str(const bytes& b) { return std::string(b.begin(), b.end()); }

bool startswith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// ---- running a program with chosen descriptors -----------------------------

// Starts program with args, its standard streams on the given descriptors;
// the signals the programs handle start at their default action (a test
// runner in the background may have them ignored), unless `ignore` names
// one to start ignored.
pid_t spawn(const std::vector<std::string>& args, int in, int out, int err, int ignore = 0)
{
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(sig, sig == ignore ? SIG_IGN : SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

int openfile(const std::string& path, int flags) { return open(path.c_str(), flags | O_CLOEXEC, 0666); }

// Waits until path exists (the program has opened its output), at most
// about ten seconds.
bool waitfor(const std::string& path)
{
    for (int i = 0; i < 1000 && !exists(path); ++i) usleep(10000);
    return exists(path);
}

bool writeall(int fd, const bytes& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// ---- options ----------------------------------------------------------------

TEST(Cli, HelpAndVersion)
{
    struct want {
        std::string cmd, out;
    };
    const want cases[] = {
        {vorn_ + " -V", "vorn 1.04\n"},
        {vorn_ + " --version", "vorn 1.04\n"},
        {unvorn_ + " -V", "unvorn 1.03a\n"},
        {vorn_ + " -dV", "unvorn 1.03a\n"},
        {vorn_ + " --decompress --version", "unvorn 1.03a\n"},
        {unvorn_ + " -d --version", "unvorn 1.03a\n"},
    };
    for (const want& c : cases) {
        const runresult r = runshell(c.cmd, {});
        EXPECT_EQ(r.status, 0) << c.cmd;
        EXPECT_EQ(str(r.out), c.out) << c.cmd;
        EXPECT_EQ(r.err, "") << c.cmd;
    }
    for (const std::string& cmd : {vorn_ + " -h", vorn_ + " --help", unvorn_ + " -h", vorn_ + " -dh", vorn_ + " -h missing out"}) {
        const runresult r = runshell(cmd, {});
        EXPECT_EQ(r.status, 0) << cmd;
        EXPECT_EQ(r.err, "") << cmd;
        const bool restore = cmd.find("unvorn") != std::string::npos || cmd.find("-dh") != std::string::npos;
        EXPECT_TRUE(startswith(str(r.out), restore ? "usage: unvorn [options] [input [output]]\n" : "usage: vorn [options] [input [output]]\n"))
            << cmd << ":\n" << str(r.out);
        for (const char* opt : {"--decompress", "--stdout", "--quiet", "--help", "--version"})
            EXPECT_NE(str(r.out).find(opt), std::string::npos) << cmd << " lacks " << opt;
    }
    EXPECT_EQ(runshell(vorn_ + " -h >/dev/full", {}).status, 1) << "a help that cannot be written is a failure";
}

TEST(Cli, UnknownOptionsOpenNothing)
{
    scratch s;
    writefile(s.path("in"), text("abc"));
    for (const std::string opt : {"-x", "--bogus", "-dx", "-qz", "--decompress=yes", "---"}) {
        for (const std::string& prog : {vorn_, unvorn_}) {
            const std::string cmd = prog + " " + opt + " '" + s.path("in") + "' '" + s.path("out") + "'";
            const runresult r = runshell(cmd, {});
            EXPECT_EQ(r.status, 1) << cmd;
            EXPECT_TRUE(r.out.empty()) << cmd;
            EXPECT_FALSE(exists(s.path("out"))) << cmd;
            const std::string name = prog == vorn_ ? "vorn" : "unvorn";
            const std::string letter = opt[1] == '-' ? opt : "-" + opt.substr(opt.size() - 1);
            EXPECT_EQ(r.err, name + ": unknown option " + letter + "\nusage: " + name + " [-cdqhV] [input [output]]   (" +
                                 name + " -h for help)\n")
                << cmd;
        }
    }
    // -c names standard output; an output file as well is a contradiction.
    const runresult both = runshell(vorn_ + " -c '" + s.path("in") + "' '" + s.path("out") + "'", {});
    EXPECT_EQ(both.status, 1);
    EXPECT_FALSE(exists(s.path("out")));
    EXPECT_NE(both.err.find("-c writes to standard output"), std::string::npos) << both.err;
}

// -d turns vorn into unvorn, banner and messages included; -c, -q, "-" and
// "--" in every combination the tools around use.
TEST(Cli, DirectionOutputAndQuiet)
{
    scratch s;
    const bytes input = wordy(300000, 5);
    writefile(s.path("plain"), input);
    const runresult packed = vorn(input);
    ASSERT_EQ(packed.status, 0);
    writefile(s.path("packed"), packed.out);
    const std::string plain = "'" + s.path("plain") + "'";
    const std::string pk = "'" + s.path("packed") + "'";
    const std::string restoremsg = "Decoding ... processing 300000 bytes ... done\n";
    const std::string packmsg = "Processing 300000 bytes ... coding ... done\n";

    struct want {
        std::string cmd;
        bytes in;
        const bytes* out;
        std::string err;
    };
    const want cases[] = {
        {vorn_ + " -d", packed.out, &input, unvornbanner + restoremsg},
        {vorn_ + " --decompress", packed.out, &input, unvornbanner + restoremsg},
        {unvorn_ + " -d", packed.out, &input, unvornbanner + restoremsg},
        {vorn_ + " -cd " + pk, {}, &input, "unvorn version 1.03a on " + s.path("packed") + " to stdout\n" + restoremsg},
        {vorn_ + " -dc " + pk, {}, &input, "unvorn version 1.03a on " + s.path("packed") + " to stdout\n" + restoremsg},
        {vorn_ + " -d -c -- " + pk, {}, &input, "unvorn version 1.03a on " + s.path("packed") + " to stdout\n" + restoremsg},
        {unvorn_ + " --stdout " + pk, {}, &input, "unvorn version 1.03a on " + s.path("packed") + " to stdout\n" + restoremsg},
        {vorn_ + " -c " + plain, {}, &packed.out, "vorn Version 1.04 on " + s.path("plain") + " to stdout\n" + packmsg},
        {vorn_ + " -", input, &packed.out, vornbanner + packmsg},
        {vorn_ + " - -", input, &packed.out, vornbanner + packmsg},
        {vorn_ + " -- -", input, &packed.out, vornbanner + packmsg},
        {vorn_ + " -q", input, &packed.out, ""},
        {vorn_ + " --quiet " + plain, {}, &packed.out, ""},
        {vorn_ + " -qd", packed.out, &input, ""},
        {vorn_ + " -dq -", packed.out, &input, ""},
        {vorn_ + " -qcd " + pk, {}, &input, ""},
        {unvorn_ + " -q", packed.out, &input, ""},
    };
    for (const want& c : cases) {
        const runresult r = runshell(c.cmd, c.in);
        EXPECT_EQ(r.status, 0) << c.cmd << ": " << r.err;
        EXPECT_EQ(firstdiff(r.out, *c.out), -1) << c.cmd;
        EXPECT_EQ(r.err, c.err) << c.cmd;
    }

    // Named files, and a file whose name starts with '-' after "--".
    const runresult named = runshell("cd '" + s.dir + "' && " + vorn_ + " -q -- plain -d && " + vorn_ + " -dq -- -d back", {});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(named.err, "");
    EXPECT_EQ(readfile(s.path("-d")), packed.out);
    EXPECT_EQ(readfile(s.path("back")), input);

    // -q silences progress, not failures.
    bytes damaged = packed.out;
    damaged[2] ^= 0x5A;
    const runresult failed = runshell(vorn_ + " -qd", damaged);
    EXPECT_EQ(failed.status, 1);
    EXPECT_TRUE(failed.err == "Error #6601\n" || failed.err == "unvorn: stdin: not a valid compressed stream (damaged)\n")
        << failed.err;
    const runresult empty = runshell(unvorn_ + " -q", {});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.err, "error reading input\n");
}

// ---- protecting data ----------------------------------------------------------

// The same file as input and output, however it is named, is refused before
// the output is opened: the input stays as it was.
TEST(Cli, SameFileRefused)
{
    scratch s;
    const bytes input = wordy(5000, 8);
    writefile(s.path("a"), input);
    const bytes packed = vorn(input).out;
    writefile(s.path("a.vn"), packed);
    ASSERT_EQ(link(s.path("a").c_str(), s.path("hard").c_str()), 0);
    ASSERT_EQ(symlink(s.path("a").c_str(), s.path("soft").c_str()), 0);
    ASSERT_EQ(link(s.path("a.vn").c_str(), s.path("hard.vn").c_str()), 0);
    ASSERT_EQ(symlink("a.vn", s.path("soft.vn").c_str()), 0);
    const std::string d = "'" + s.dir + "/";
    const std::string cases[] = {
        vorn_ + " " + d + "a' " + d + "a'",
        vorn_ + " " + d + "a' " + d + "hard'",
        vorn_ + " " + d + "a' " + d + "soft'",
        vorn_ + " " + d + "soft' " + d + "a'",
        vorn_ + " -q " + d + "a' " + d + "a'",
        vorn_ + " " + d + "a' >>" + d + "a'",
        vorn_ + " - " + d + "a' <" + d + "a'",
        vorn_ + " -c " + d + "a' 1<>" + d + "a'",
        unvorn_ + " " + d + "a.vn' " + d + "a.vn'",
        unvorn_ + " " + d + "a.vn' " + d + "hard.vn'",
        unvorn_ + " " + d + "a.vn' " + d + "soft.vn'",
        vorn_ + " -d " + d + "hard.vn' " + d + "soft.vn'",
        unvorn_ + " " + d + "a.vn' >>" + d + "a.vn'",
    };
    for (const std::string& cmd : cases) {
        const runresult r = runshell(cmd, {});
        EXPECT_EQ(r.status, 1) << cmd;
        EXPECT_NE(r.err.find("are the same file; nothing was written\n"), std::string::npos) << cmd << ": " << r.err;
        EXPECT_EQ(readfile(s.path("a")), input) << cmd;
        EXPECT_EQ(readfile(s.path("a.vn")), packed) << cmd;
        EXPECT_TRUE(exists(s.path("a")) && exists(s.path("a.vn"))) << cmd;
    }
    // Devices are not files to protect: /dev/null in and out is fine.
    const runresult nulls = runshell(vorn_ + " /dev/null /dev/null", {});
    EXPECT_EQ(nulls.status, 0) << nulls.err;
}

// A terminal never receives compressed data (vorn) nor supplies it
// (unvorn): refused with a message on how to name a file, nothing read.
TEST(Cli, TerminalRefused)
{
    scratch s;
    writefile(s.path("plain"), text("some text to compress"));
    writefile(s.path("packed"), vorn(text("some text to compress")).out);

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slavename = ptsname(master);
    const int pty = openfile(slavename, O_RDWR | O_NOCTTY);
    ASSERT_GE(pty, 0);
    fcntl(master, F_SETFL, O_NONBLOCK);

    struct want {
        std::vector<std::string> args;
        bool ttyout;  // the terminal is standard output (else standard input)
        std::string message;
    };
    const std::string towrite = "compressed data is not written to a terminal; name an output file";
    const std::string toread = "compressed data is not read from a terminal; name an input file";
    const want cases[] = {
        {{vorn_}, true, "vorn: " + towrite},
        {{vorn_, s.path("plain")}, true, "vorn: " + towrite},
        {{vorn_, "-c", s.path("plain")}, true, "vorn: " + towrite},
        {{vorn_, "-q", s.path("plain"), "-"}, true, "vorn: " + towrite},
        {{vorn_, s.path("plain"), slavename}, false, "vorn: " + towrite},
        {{unvorn_}, false, "unvorn: " + toread},
        {{unvorn_, "-", s.path("out")}, false, "unvorn: " + toread},
        {{vorn_, "-d"}, false, "unvorn: " + toread},
        {{unvorn_, slavename, s.path("out")}, false, "unvorn: " + toread},
    };
    for (const want& c : cases) {
        std::string cmd;
        for (const std::string& a : c.args) cmd += a + " ";
        const int in = c.ttyout ? openfile("/dev/null", O_RDONLY) : pty;
        const int out = c.ttyout ? pty : openfile(s.path("stdout"), O_WRONLY | O_CREAT | O_TRUNC);
        const int err = openfile(s.path("stderr"), O_WRONLY | O_CREAT | O_TRUNC);
        const pid_t pid = spawn(c.args, in, out, err);
        int status = 0;
        waitpid(pid, &status, 0);
        if (c.ttyout) close(in);
        if (!c.ttyout) close(out);
        close(err);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << cmd << ": status " << status;
        const std::string msg = str(readfile(s.path("stderr")));
        EXPECT_NE(msg.find(c.message), std::string::npos) << cmd << ": " << msg;
        char junk[256];
        EXPECT_LE(read(master, junk, sizeof junk), 0) << cmd << ": something reached the terminal";
        EXPECT_FALSE(exists(s.path("out"))) << cmd;
        EXPECT_TRUE(readfile(s.path("stdout")).empty()) << cmd;
    }
    // Restored data may go to a terminal, and text to compress may come from one.
    {
        const int in = openfile(s.path("packed"), O_RDONLY);
        const int err = openfile("/dev/null", O_WRONLY);
        const pid_t pid = spawn({unvorn_}, in, pty, err);
        int status = 0;
        waitpid(pid, &status, 0);
        close(in);
        close(err);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        usleep(50000);
        char got[256] = {};
        const ssize_t n = read(master, got, sizeof got - 1);
        EXPECT_EQ(std::string(got, n > 0 ? static_cast<size_t>(n) : 0), "some text to compress");
    }
    close(pty);
    close(master);
}

// A named output is removed when the run fails; a run that restored its
// streams completely (status 2, stray bytes after them) keeps it. Failures
// end with status 1, never by a signal.
TEST(Cli, FailedRunRemovesItsOutput)
{
    scratch s;
    const bytes input = wordy(2 * blocksize + 1000, 14);
    const bytes packed = vorn(input).out;
    bytes damaged = packed;
    for (size_t i = damaged.size() * 3 / 4; i < damaged.size() * 3 / 4 + 16; ++i) damaged[i] ^= 0xA5;
    bytes trailing = packed;
    trailing.push_back('!');
    writefile(s.path("damaged"), damaged);
    writefile(s.path("truncated"), bytes(packed.begin(), packed.end() - 3));
    writefile(s.path("empty"), {});
    writefile(s.path("trailing"), trailing);
    writefile(s.path("garbage"), text("\x15 not a stream at all"));
    mkdir(s.path("folder").c_str(), 0777);

    struct want {
        std::string cmd;
        int status;
        std::string says;
    };
    const std::string out = " '" + s.path("out") + "'";
    const want cases[] = {
        {unvorn_ + " '" + s.path("damaged") + "'" + out, 1, "Error #6601\n"},
        {vorn_ + " -d '" + s.path("damaged") + "'" + out, 1, "Error #6601\n"},
        {unvorn_ + " -q '" + s.path("damaged") + "'" + out, 1, "Error #6601\n"},
        {unvorn_ + " '" + s.path("truncated") + "'" + out, 1, "ends too early"},
        {unvorn_ + " '" + s.path("empty") + "'" + out, 1, "error reading input\n"},
        {unvorn_ + " '" + s.path("garbage") + "'" + out, 1, "damaged"},
        {vorn_ + " '" + s.path("folder") + "'" + out, 1, "error reading"},
        {unvorn_ + " '" + s.path("trailing") + "'" + out, 2, "data after the end"},
    };
    for (const want& c : cases) {
        for (const bool existed : {false, true}) {
            if (existed) writefile(s.path("out"), text("an older file of that name"));
            const runresult r = runshell(c.cmd, {});
            EXPECT_EQ(r.status, c.status) << c.cmd;
            EXPECT_NE(r.err.find(c.says), std::string::npos) << c.cmd << ": " << r.err;
            EXPECT_EQ(exists(s.path("out")), c.status == 2) << c.cmd << (existed ? " (replacing a file)" : "");
            if (c.status == 2) {
                EXPECT_EQ(readfile(s.path("out")), input);
            }
            std::remove(s.path("out").c_str());
        }
    }
    // The first block of the damaged stream was complete: on standard output
    // it stays, as nothing written there can be taken back.
    const runresult piped = unvorn(damaged);
    EXPECT_EQ(piped.status, 1);
    ASSERT_GE(piped.out.size(), blocksize);
    EXPECT_EQ(firstdiff(bytes(piped.out.begin(), piped.out.begin() + blocksize), bytes(input.begin(), input.begin() + blocksize)), -1);
}

// Damage anywhere ends in a status, never in a signal.
TEST(Cli, DamageNeverEndsInASignal)
{
    std::mt19937 rng(99);
    const bytes input = wordy(200000, 6);
    const bytes packed = vorn(input).out;
    int stops = 0;
    for (int k = 0; k < 40; ++k) {
        bytes d = packed;
        const size_t at = 2 + rng() % (d.size() - 2);
        for (size_t j = at; j < at + 1 + rng() % 8 && j < d.size(); ++j) d[j] = static_cast<uint8_t>(rng());
        const runresult r = unvorn(d);
        EXPECT_TRUE(r.status == 0 || r.status == 1 || r.status == 2) << "damage at " << at << ": status " << r.status;
        stops += r.err.find("Error #6601\n") != std::string::npos;
    }
    EXPECT_GT(stops, 0);
}

// A failed allocation is reported and ends the run with status 1, its
// output removed. The sanitizers need more address space than the limit
// leaves, so their builds do not have this test (the release build runs it).
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(Cli, AllocationFailureEndsWithStatusOne)
{
    scratch s;
    const bytes input = wordy(blocksize, 3);
    writefile(s.path("plain"), input);
    writefile(s.path("packed"), vorn(input).out);
    for (const std::string& cmd : {vorn_ + " '" + s.path("plain") + "' '" + s.path("out") + "'",
                                   unvorn_ + " '" + s.path("packed") + "' '" + s.path("out") + "'"}) {
        // About 8 MiB of address space: the programs start, the block
        // buffer or the transform's tables cannot be had.
        const runresult r = runshell("ulimit -v 8192; " + cmd, {});
        EXPECT_EQ(r.status, 1) << cmd << ": " << r.err;
        const bool reported = r.err.find("memory allocation") != std::string::npos || r.err.find("Error #650") != std::string::npos;
        EXPECT_TRUE(reported) << cmd << ": " << r.err;
        EXPECT_FALSE(exists(s.path("out"))) << cmd;
    }
}
#endif

// SIGINT, SIGTERM, SIGHUP and SIGPIPE while a named output is being
// written: the file is removed and the program dies by that signal.
TEST(Cli, SignalsRemoveTheOutput)
{
    scratch s;
    const bytes input = wordy(3 * blocksize, 2);
    const bytes packed = vorn(input).out;
    for (const bool restore : {false, true}) {
        for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
            for (const bool existed : {false, true}) {
                const std::string out = s.path("out");
                if (existed) writefile(out, text("an older file of that name"));
                int feed[2];
                ASSERT_EQ(pipe2(feed, O_CLOEXEC), 0);
                const int err = openfile("/dev/null", O_WRONLY);
                const pid_t pid = spawn({restore ? unvorn_ : vorn_, "-", out}, feed[0], err, err);
                close(feed[0]);
                close(err);
                // Part of the data, then the pipe stays open: the program
                // waits for more with its output file open.
                const bytes& data = restore ? packed : input;
                writeall(feed[1], bytes(data.begin(), data.begin() + static_cast<long>(data.size() / 2)));
                if (!existed) {
                    EXPECT_TRUE(waitfor(out)) << "the output was never opened";
                }
                usleep(100000);
                kill(pid, sig);
                int status = 0;
                waitpid(pid, &status, 0);
                close(feed[1]);
                EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig)
                    << (restore ? "unvorn" : "vorn") << " signal " << sig << ": status " << status;
                EXPECT_FALSE(exists(out)) << (restore ? "unvorn" : "vorn") << " signal " << sig;
                std::remove(out.c_str());
            }
        }
    }

    // A real broken pipe: standard error's reader goes away after the
    // banner, and the next progress message meets the closed pipe.
    {
        const std::string out = s.path("out");
        int feed[2], errpipe[2];
        ASSERT_EQ(pipe2(feed, O_CLOEXEC), 0);
        ASSERT_EQ(pipe2(errpipe, O_CLOEXEC), 0);
        const int devnull = openfile("/dev/null", O_WRONLY);
        const pid_t pid = spawn({vorn_, "-", out}, feed[0], devnull, errpipe[1]);
        close(feed[0]);
        close(errpipe[1]);
        close(devnull);
        std::string banner;
        char c;
        while (banner.find('\n') == std::string::npos && read(errpipe[0], &c, 1) == 1) banner += c;
        EXPECT_EQ(banner, "vorn Version 1.04 on stdin to " + out + "\n");
        close(errpipe[0]);
        writeall(feed[1], bytes(input.begin(), input.begin() + 100000));
        close(feed[1]);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) << status;
        EXPECT_FALSE(exists(out));
    }

    // A signal ignored when the program starts (nohup) stays ignored: the
    // run goes on and completes.
    {
        const std::string out = s.path("out");
        int feed[2];
        ASSERT_EQ(pipe2(feed, O_CLOEXEC), 0);
        const int devnull = openfile("/dev/null", O_WRONLY);
        const pid_t pid = spawn({vorn_, "-", out}, feed[0], devnull, devnull, SIGHUP);
        close(feed[0]);
        close(devnull);
        EXPECT_TRUE(waitfor(out));
        kill(pid, SIGHUP);
        writeall(feed[1], input);
        close(feed[1]);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(readfile(out), packed);
    }
}

// ---- concatenated streams -----------------------------------------------------

TEST(Cli, ConcatenatedStreams)
{
    const bytes a = wordy(blocksize + 500, 1), b = text("banana"), c = text("abcd"), d = wordy(70000, 4);
    const bytes pa = vorn(a).out, pb = vorn(b).out, pc = vorn(c).out, pd = vorn(d).out, pe = vorn({}).out;
    bytes all, want;
    for (const bytes* p : {&pa, &pe, &pb, &pc, &pd, &pb}) all.insert(all.end(), p->begin(), p->end());
    for (const bytes* p : {&a, &b, &c, &d, &b}) want.insert(want.end(), p->begin(), p->end());

    const runresult r = unvorn(all);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(firstdiff(r.out, want), -1);
    // The banner once, each stream's own progress lines; the open line of a
    // 4-byte raw tail is ended before the next stream's.
    const std::string la = "Decoding ... processing " + std::to_string(blocksize) + " bytes ... done\nDecoding ... processing 500 bytes ... done\n";
    const std::string lb = "Decoding ... processing 6 bytes ... done\n";
    EXPECT_EQ(r.err, unvornbanner + la + lb + "Decoding ...\n" + "Decoding ... processing 70000 bytes ... done\n" + lb);

    scratch s;
    writefile(s.path("all"), all);
    const runresult named = runshell(vorn_ + " -qd '" + s.path("all") + "' '" + s.path("out") + "'", {});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(readfile(s.path("out")), want);

    // Bytes that begin no stream: every stream before them restored, status 2.
    for (const bytes& stray : {text("x"), text("\x16"), bytes{0x15, 0x01}, bytes{0}, bytes{0, 0x80, 0, 0}, bytes{0, 0x80, 0, 0, 1}}) {
        bytes in = pb;
        in.insert(in.end(), pc.begin(), pc.end());
        in.insert(in.end(), stray.begin(), stray.end());
        const runresult t = unvorn(in);
        EXPECT_EQ(t.status, 2) << t.err;
        EXPECT_EQ(str(t.out), "bananaabcd");
        EXPECT_NE(t.err.find("data after the end"), std::string::npos) << t.err;
    }
    // A damaged or cut stream after good ones: those restored, status 1.
    bytes cut = pb;
    cut.insert(cut.end(), pd.begin(), pd.end() - 4);
    const runresult t = unvorn(cut);
    EXPECT_EQ(t.status, 1);
    EXPECT_EQ(str(t.out), "banana");
}

// ---- the tools around ---------------------------------------------------------

TEST(Cli, TarWithVornAsItsCompressor)
{
    scratch s;
    const std::string dir = s.path("tree");
    // Files of the repository's own test data, an empty file, a long run
    // and generated text, in folders of three depths.
    const std::string golden = datadir + "/golden";
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "/sub/deeper' && cp '" + golden + "'/alice29.txt '" + golden +
                           "'/xorshift64k.vn '" + golden + "'/hash100k.vn '" + dir + "/' && cp '" + golden + "'/grammar.lsp '" + dir +
                           "/sub/' && : >'" + dir + "/sub/empty' && head -c 3000000 /dev/zero >'" + dir + "/sub/deeper/zeros'")
                              .c_str()),
              0);
    writefile(dir + "/sub/deeper/text", wordy(2500000, 7));
    const std::string path = "PATH='" + bindir + "':\"$PATH\"; cd '" + s.dir + "' && ";
    const runresult c = runshell(path + "tar -I vorn -cf t.tar.vn tree", {});
    ASSERT_EQ(c.status, 0) << c.err;
    for (const char* prog : {"vorn", "unvorn"}) {
        const std::string x = std::string("x-") + prog;
        const runresult r = runshell(path + "mkdir " + x + " && tar -I " + prog + " -xf t.tar.vn -C " + x + " && diff -r tree " + x + "/tree", {});
        EXPECT_EQ(r.status, 0) << prog << ": " << r.err << str(r.out);
    }
    // The archive is vorn's stream of the archive.
    const runresult plain = runshell(path + "tar -I unvorn -xOf t.tar.vn >/dev/null && unvorn -q t.tar.vn | tar -tf - | sort", {});
    EXPECT_EQ(plain.status, 0);
    EXPECT_NE(str(plain.out).find("tree/sub/deeper/zeros"), std::string::npos) << str(plain.out);
}

TEST(Cli, SortWithVornCompressingItsTemporaryFiles)
{
    scratch s;
    bytes lines;
    std::mt19937 rng(17);
    while (lines.size() < 6000000) {
        const bytes w = wordy(10 + rng() % 60, static_cast<unsigned>(rng()));
        lines.insert(lines.end(), w.begin(), w.end());
        lines.push_back('\n');
    }
    writefile(s.path("big"), lines);
    const std::string env = "export LC_ALL=C PATH='" + bindir + "':\"$PATH\"; cd '" + s.dir + "' && mkdir tmp && ";
    const runresult r = runshell(env + "sort -S 256K -T tmp --compress-program=vorn big >sorted && sort -S 256K -T tmp big >plain && cmp sorted plain", {});
    EXPECT_EQ(r.status, 0) << r.err.substr(0, 2000);
    // sort did use vorn: its temporary files' banners went to sort's stderr.
    EXPECT_NE(r.err.find("vorn Version 1.04 on stdin to stdout\n"), std::string::npos);
    EXPECT_NE(r.err.find("unvorn version 1.03a on stdin to stdout\n"), std::string::npos);
    EXPECT_EQ(readfile(s.path("sorted")).size(), lines.size());
}

}  // namespace
