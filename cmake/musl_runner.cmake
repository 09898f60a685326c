# The service's runner built by Zig against musl, statically, with Zig's C++ runtime (libc++).
# Included from the top CMakeLists.txt (which says why) when MORVANE_RUNNER_ZIG names a Zig.
#
# The runner's sources are compiled anew for musl (the rest of winemu is built against the host's
# C library): the runner's program and the parts of winemu that a run reaches. A source that this
# list misses shows as an undefined symbol when the runner is linked. Zig keeps each object in its
# own cache, so a rebuild compiles only what changed.
set(runner_sources
    src/winemu/runner/winemu_runner.cpp
    src/winemu/src/base/utf.cpp
    src/winemu/src/control/service_environment.cpp
    src/winemu/src/launch/action_process.cpp
    src/winemu/src/launch/command_line.cpp
    src/winemu/src/launch/live_runs.cpp
    src/winemu/src/launch/run_lock.cpp
    src/winemu/src/launch/run_order.cpp
    src/winemu/src/launch/run_records.cpp
    src/winemu/src/launch/task_launch.cpp
    src/winemu/src/launch/task_runner.cpp
    src/winemu/src/library/library_files.cpp
    src/winemu/src/library/task_library.cpp
    src/winemu/src/library/task_names.cpp
    src/winemu/src/library/task_paths.cpp
    src/winemu/src/library/task_store.cpp)
list(TRANSFORM runner_sources PREPEND "${CMAKE_CURRENT_SOURCE_DIR}/")
file(GLOB_RECURSE runner_headers CONFIGURE_DEPENDS src/winemu/src/*.hpp src/winemu/include/*.h src/common/*.hpp)

if(runner_processor STREQUAL "amd64")
    set(runner_processor x86_64)
endif()
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
    set(runner_build -O0 -g)
else()
    set(runner_build -O2 -s)
endif()
set(runner_werror "")
if(MORVANE_WARNINGS_AS_ERRORS)
    set(runner_werror -Werror)
endif()
set(runner "${CMAKE_CURRENT_BINARY_DIR}/winemu-runner")
add_custom_command(
    OUTPUT "${runner}"
    COMMAND "${MORVANE_RUNNER_ZIG}" c++ -target ${runner_processor}-linux-musl -static -std=c++20 ${runner_build}
            -Wall -Wextra -Wpedantic ${runner_werror}
            "-ffile-prefix-map=${CMAKE_CURRENT_SOURCE_DIR}/="
            -ffunction-sections -fdata-sections -Wl,--gc-sections
            "-I${CMAKE_CURRENT_SOURCE_DIR}/src/winemu/include" "-I${CMAKE_CURRENT_SOURCE_DIR}/src/winemu/src"
            "-I${CMAKE_CURRENT_SOURCE_DIR}/src/common"
            ${runner_sources} -o "${runner}"
    DEPENDS ${runner_sources} ${runner_headers}
    COMMENT "Building the service's runner against musl"
    VERBATIM COMMAND_EXPAND_LISTS)
add_custom_target(winemu_runner ALL DEPENDS "${runner}")
install(PROGRAMS "${runner}" DESTINATION ${MORVANE_PACKAGE_DIR})
