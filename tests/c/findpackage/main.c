/* Compresses "banana" to its known stream and restores it, through the
 * library that find_package(vorn) found, shared or static. The program
 * has globals of its own named as tables inside the library: the library
 * must not take them for its own. */
#include <stdio.h>
#include <string.h>

#include <vorn.h>

int recip_tbl[4] = {1, 2, 3, 4};
int rv_tbl = 5;

int main(void)
{
    static const unsigned char want[] = {0x03, 0x00, 0xF3, 0xE8, 0x07, 0x08, 0x31,
                                         0x5E, 0x72, 0x35, 0x3F, 0x5B, 0x87, 0xF2};
    unsigned char packed[64], restored[64];
    size_t packedlen = 0, restoredlen = 0;
    int rc;

    rc = vorn_compress(packed, sizeof packed, &packedlen, "banana", 6);
    if (rc != VORN_OK || packedlen != sizeof want || memcmp(packed, want, sizeof want) != 0) {
        printf("FAIL vorn_compress of banana: status %d (%s), %lu bytes\n", rc, vorn_strerror(rc),
               (unsigned long)packedlen);
        return 1;
    }
    rc = vorn_decompress(restored, sizeof restored, &restoredlen, packed, packedlen);
    if (rc != VORN_OK || restoredlen != 6 || memcmp(restored, "banana", 6) != 0) {
        printf("FAIL vorn_decompress of banana's stream: status %d (%s), %lu bytes\n", rc, vorn_strerror(rc),
               (unsigned long)restoredlen);
        return 1;
    }
    if (recip_tbl[3] != 4 || rv_tbl != 5) {
        printf("FAIL the program's own globals changed\n");
        return 1;
    }
    printf("banana: compressed and restored by libvorn %s\n", vorn_version());
    return 0;
}
