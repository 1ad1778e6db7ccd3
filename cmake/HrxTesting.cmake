# Test helpers: every test runs in the bench rig's Wine prefix, which the
# rig_setup fixture makes fresh for the run and rig_cleanup removes.
enable_testing()

# Every Windows test program runs under Wine; the wrapper points Wine at the
# test run's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/rig/wine-run)

set(RIG_DIR ${CMAKE_BINARY_DIR}/rig)
set(RIG_PY ${CMAKE_SOURCE_DIR}/tests/rig/rig.py)
set(TEST_WORK_DIR ${CMAKE_BINARY_DIR}/testwork)

# hrx_add_wine_test(NAME TARGET [LINES p:c ...] [ARGS ...] [ENV k=v ...]
#                   [TIMEOUT s] [SERIAL])
# Runs a Windows test program under Wine.  LINES joins COM<p> (the player's
# port) and COM<c> (the controller's end) for the program's run.  SERIAL
# keeps the test apart from every other test that touches the player's
# registry key, its window class or the shared lines.
function(hrx_add_wine_test name target)
  cmake_parse_arguments(T "SERIAL" "TIMEOUT" "LINES;ARGS;ENV" ${ARGN})
  if(T_LINES)
    add_test(NAME ${name}
      COMMAND ${PYTHON3} ${RIG_PY} with-lines ${T_LINES} --
              ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${target}> ${T_ARGS})
  else()
    add_test(NAME ${name} COMMAND ${target} ${T_ARGS})
  endif()
  hrx_test_properties(${name} ${ARGN})
endfunction()

# hrx_add_system_test(NAME SCRIPT [ENV ...] [TIMEOUT s])
# A Python test that starts hrx.exe and drives it only from outside.
function(hrx_add_system_test name script)
  add_test(NAME ${name}
    COMMAND ${PYTHON3} ${script} -v)
  hrx_test_properties(${name} SERIAL ${ARGN})
  set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT
    "PYTHONPATH=${CMAKE_SOURCE_DIR}/tests/rig:${CMAKE_SOURCE_DIR}/tests/system"
    "HRX_BIN=${CMAKE_BINARY_DIR}/bin" "HRX_MEDIA=${HRX_MEDIA}")
endfunction()

function(hrx_test_properties name)
  cmake_parse_arguments(T "SERIAL" "TIMEOUT" "LINES;ARGS;ENV" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(work ${TEST_WORK_DIR}/${name})
  file(MAKE_DIRECTORY ${work})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED rig
    TIMEOUT ${T_TIMEOUT}
    WORKING_DIRECTORY ${work}
    ENVIRONMENT "RIG_DIR=${RIG_DIR};TEST_WORK_DIR=${work};${T_ENV}")
  if(T_SERIAL OR T_LINES)
    set_property(TEST ${name} PROPERTY RESOURCE_LOCK player)
  endif()
endfunction()
