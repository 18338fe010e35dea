# find_package(vorn): the target vorn::vorn, the shared library, and
# vorn::vorn_static, the static one.
include(CMakeFindDependencyMacro)
find_dependency(Threads)
include(${CMAKE_CURRENT_LIST_DIR}/vornTargets.cmake)
