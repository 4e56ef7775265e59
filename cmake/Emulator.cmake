# Some hosts (sandboxed kernels) cannot execute i386 binaries even on x86-64.
# There the tests and the daemon run under the user-mode emulator qemu-i386,
# which CTest and gtest_discover_tests use through CMAKE_CROSSCOMPILING_EMULATOR.
set(_probe_dir ${CMAKE_BINARY_DIR}/probe32)
file(MAKE_DIRECTORY ${_probe_dir})
file(WRITE ${_probe_dir}/probe.c "int main(void) { return sizeof(void *) == 4 ? 0 : 1; }\n")
execute_process(COMMAND ${CMAKE_C_COMPILER} -m32 ${_probe_dir}/probe.c -o ${_probe_dir}/probe
                RESULT_VARIABLE _cc_rc OUTPUT_QUIET ERROR_QUIET)
if(NOT _cc_rc EQUAL 0)
  message(FATAL_ERROR "cannot build 32-bit programs: install g++-multilib (tools/setup-deps)")
endif()
execute_process(COMMAND ${_probe_dir}/probe RESULT_VARIABLE _run_rc OUTPUT_QUIET ERROR_QUIET)
set(TARVO_EMULATOR "" CACHE STRING "Command that runs 32-bit programs (empty: run them directly)")
if(NOT _run_rc EQUAL 0 AND NOT TARVO_EMULATOR)
  find_program(_qemu qemu-i386)
  if(NOT _qemu)
    message(FATAL_ERROR "this host cannot run 32-bit programs and qemu-i386 is missing (tools/setup-deps)")
  endif()
  set(TARVO_EMULATOR ${_qemu} CACHE STRING "" FORCE)
endif()
if(TARVO_EMULATOR)
  message(STATUS "32-bit programs run under ${TARVO_EMULATOR}")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARVO_EMULATOR})
endif()
