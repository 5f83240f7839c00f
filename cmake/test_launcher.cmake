# How the tests start the programs this build makes.
#
# A program of the host's own kind runs directly. A 32-bit x86 Linux program
# runs directly where the kernel executes i386 programs and under qemu-i386
# user-mode emulation where it does not (some kernels are built without 32-bit
# support). A probe program, built with this build's flags and started at
# configure time, decides. ORVDC_RUN_PROGRAMS forces one way: "native" or
# "emulated"; "auto" (the default) probes native first.
#
# Sets, for the rest of the build:
#   ORVDC_TEST_LAUNCHER  command prefix for every program the tests start
#                        (empty when they run directly)
#   ORVDC_TEST_RUN_MODE  "native" or "emulated (<launcher>)", also cached so
#                        that scripts can report it
# When no way runs the probe, configuring fails and says why: the tests are
# never skipped silently.
set(ORVDC_RUN_PROGRAMS auto CACHE STRING "How tests start this build's programs: auto, native or emulated")
set_property(CACHE ORVDC_RUN_PROGRAMS PROPERTY STRINGS auto native emulated)

set(probe_dir "${CMAKE_BINARY_DIR}/launch_probe")
set(probe_exe "${probe_dir}/launch_probe${CMAKE_EXECUTABLE_SUFFIX}")
try_compile(probe_built "${probe_dir}/build" "${CMAKE_CURRENT_LIST_DIR}/launch_probe.c"
            OUTPUT_VARIABLE probe_log COPY_FILE "${probe_exe}")
if(NOT probe_built)
  message(FATAL_ERROR "Could not build the launch probe with this build's flags:\n${probe_log}")
endif()
math(EXPR probe_expected "${CMAKE_SIZEOF_VOID_P} * 8")

# Runs the probe with the given command prefix; sets <out> to TRUE when it
# ran and printed this build's pointer width, and <why> to what happened.
function(orvdc_probe_launch out why)
  execute_process(COMMAND ${ARGN} "${probe_exe}" RESULT_VARIABLE rc OUTPUT_VARIABLE printed
                  ERROR_VARIABLE err OUTPUT_STRIP_TRAILING_WHITESPACE TIMEOUT 60)
  if(rc STREQUAL "0" AND printed STREQUAL "${probe_expected}")
    set(${out} TRUE PARENT_SCOPE)
    set(${why} "" PARENT_SCOPE)
  else()
    set(reason "result '${rc}', printed '${printed}'")
    string(STRIP "${err}" err)
    if(err)
      string(APPEND reason ": ${err}")
    endif()
    set(${out} FALSE PARENT_SCOPE)
    set(${why} "${reason}" PARENT_SCOPE)
  endif()
endfunction()

set(ORVDC_TEST_LAUNCHER "")
set(native_ok FALSE)
set(native_why "not tried")
if(NOT ORVDC_RUN_PROGRAMS STREQUAL "emulated")
  orvdc_probe_launch(native_ok native_why)
endif()

if(native_ok)
  set(ORVDC_TEST_RUN_MODE native)
elseif(ORVDC_RUN_PROGRAMS STREQUAL "native")
  message(FATAL_ERROR "ORVDC_RUN_PROGRAMS=native, but this build's programs do not run here (${native_why}).")
else()
  if(NOT ORVDC_TARGET_X86_32)
    message(FATAL_ERROR "The programs of this build do not run on this machine (${native_why}), "
                        "and no emulator is known for its target. Turn ORVDC_BUILD_TESTS and "
                        "ORVDC_BUILD_FUZZ off to build without tests.")
  endif()
  find_program(ORVDC_QEMU_I386 qemu-i386)
  set(emulated_ok FALSE)
  set(emulated_why "qemu-i386 not found (Debian package qemu-user)")
  if(ORVDC_QEMU_I386)
    # -L / points the emulator at the host's own i386 loader and libraries.
    orvdc_probe_launch(emulated_ok emulated_why "${ORVDC_QEMU_I386}" -L /)
  endif()
  if(NOT emulated_ok)
    message(FATAL_ERROR "The 32-bit programs of this build cannot run on this machine: natively "
                        "(${native_why}) nor under emulation (${emulated_why}). Install qemu-user, "
                        "or turn ORVDC_BUILD_TESTS and ORVDC_BUILD_FUZZ off to build without tests.")
  endif()
  set(ORVDC_TEST_LAUNCHER "${ORVDC_QEMU_I386}" -L /)
  set(ORVDC_TEST_RUN_MODE "emulated (qemu-i386 -L /)")
endif()
set(ORVDC_TEST_RUN_MODE "${ORVDC_TEST_RUN_MODE}" CACHE INTERNAL "How the tests start this build's programs")
message(STATUS "Test programs run: ${ORVDC_TEST_RUN_MODE}")
