# Build helpers shared by every folder.
include(GoogleTest)
enable_testing()
find_package(GTest REQUIRED)

# Adds a folder when it has a CMakeLists.txt, so that subsystems can land one at a time.
function(vc_add_subdirectory dir)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endfunction()

# vc_add_tests(AREA name [QT] LIBS lib...)
# Turns every *_test.cpp of the calling folder into test executables, one per layer. The layer comes from the file
# name: *_x11_test.cpp, *_audio_test.cpp, *_net_test.cpp, *_offscreen_test.cpp, *_crash_test.cpp (tests that run a
# helper program which crashes on purpose), otherwise unit. QT gives the tests a QApplication
# (tests/support/QtTestMain.cpp); without it they use tests/support/TestMain.cpp. Both mains point HOME and the XDG
# folders at a fresh temporary folder before any test runs. The target <AREA>_tests builds all of an area's test
# executables; the tests are named <AREA>.<suite>.<test>.
function(vc_add_tests)
  cmake_parse_arguments(T "QT" "AREA" "LIBS" ${ARGN})
  file(GLOB files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  set(layers unit offscreen x11 audio net crash)
  foreach(layer IN LISTS layers)
    set(${layer}_files "")
  endforeach()
  foreach(f IN LISTS files)
    get_filename_component(name ${f} NAME)
    set(layer unit)
    foreach(candidate offscreen x11 audio net crash)
      if(name MATCHES "_${candidate}_test\\.cpp$")
        set(layer ${candidate})
      endif()
    endforeach()
    list(APPEND ${layer}_files ${f})
  endforeach()
  add_custom_target(${T_AREA}_tests)
  foreach(layer IN LISTS layers)
    if(NOT ${layer}_files)
      continue()
    endif()
    set(target ${T_AREA}_${layer}_tests)
    add_executable(${target} ${${layer}_files})
    add_dependencies(${T_AREA}_tests ${target})
    if(T_QT)
      target_link_libraries(${target} PRIVATE vc_qt_test_main)
    else()
      target_link_libraries(${target} PRIVATE vc_test_main)
    endif()
    target_link_libraries(${target} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
    # Test functions keep their names in the stacks the SDK captures.
    set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
    # The tests' own code needs no optimisation, and optimising the assertion macros' expansions doubles their
    # compile time; the code under test keeps its build type's.
    target_compile_options(${target} PRIVATE -Og)
    target_compile_definitions(${target} PRIVATE VC_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
                                                 VC_BINARY_DIR="${CMAKE_BINARY_DIR}")
    set(env "")
    # Only the x11 and audio layers talk to the X server: a test that needs none does not fail while the server resets
    # between two of theirs (it does when its last client goes).
    if(layer STREQUAL "offscreen" OR layer STREQUAL "unit" OR layer STREQUAL "net")
      list(APPEND env QT_QPA_PLATFORM=offscreen)
    endif()
    set(props LABELS ${layer} TIMEOUT 600)
    if(layer STREQUAL "x11" OR layer STREQUAL "audio")
      list(APPEND props RUN_SERIAL TRUE)
    endif()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 TEST_PREFIX "${T_AREA}."
                         PROPERTIES ${props} ENVIRONMENT "${env}")
  endforeach()
endfunction()

# vc_add_fuzzer(name SOURCE file LIBS lib...)
# A libFuzzer target, only under VC_FUZZ (where the whole tree carries the fuzzer's instrumentation, so that the code
# under test is seen, not only the entry file). It joins the target "fuzzers" and runs as the test fuzz.<name> (label
# "fuzz") for VC_FUZZ_SECONDS, from the seeds in the folder fuzz/<name> beside the source when there is one; what it
# finds stays in the build folder for the next run.
if(VC_FUZZ)
  add_custom_target(fuzzers)
endif()
function(vc_add_fuzzer name)
  if(NOT VC_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "SOURCE" "LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCE})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES AUTOMOC OFF)
  add_dependencies(fuzzers ${name})
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  file(MAKE_DIRECTORY ${corpus})
  set(folders ${corpus})
  get_filename_component(sourceDir ${F_SOURCE} DIRECTORY)
  if(NOT IS_ABSOLUTE ${sourceDir})
    set(sourceDir ${CMAKE_CURRENT_SOURCE_DIR}/${sourceDir})
  endif()
  if(IS_DIRECTORY ${sourceDir}/${name})
    list(APPEND folders ${sourceDir}/${name})
  endif()
  add_test(NAME fuzz.${name} COMMAND ${name} -max_total_time=${VC_FUZZ_SECONDS} -print_final_stats=1 ${folders})
  math(EXPR limit "${VC_FUZZ_SECONDS} * 3 + 60")
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT ${limit}
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1")
endfunction()
