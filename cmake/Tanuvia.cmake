# Compiler settings shared by every target of the project.

if(WIN32)
  # Everything links statically against the C++ runtime so the DLL and the test programs
  # load in a bare Wine prefix and on Windows without extra runtime DLLs.
  add_compile_definitions(WINVER=0x0501 _WIN32_WINNT=0x0501 _WIN32_IE=0x0600 STRICT)
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra -Wno-unused-parameter)
endif()

if(TANUVIA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

# Environment for every test: Japanese locale (ANSI/OEM code page 932 under Wine), a time zone
# with an offset so local-time conversions are really exercised, and a Wine prefix of our own.
set(TANUVIA_TEST_ENV
  LC_ALL=ja_JP.UTF-8
  TZ=Asia/Tokyo
  WINEDEBUG=-all
  WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
  TANUVIA_SOURCE_DIR=${CMAKE_SOURCE_DIR}
  TANUVIA_INTEROP_DIR=${CMAKE_SOURCE_DIR}/tests/interop)

# tanuvia_add_test(TARGET [TIMEOUT seconds]): one ctest test per test binary (a Wine process start
# costs seconds, so test cases are not split into processes).
function(tanuvia_add_test target)
  cmake_parse_arguments(T "" "TIMEOUT" "" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  add_test(NAME ${target} COMMAND ${target} --gtest_color=no)
  set_tests_properties(${target} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${TANUVIA_TEST_ENV}")
  if(CMAKE_CROSSCOMPILING)
    set_tests_properties(${target} PROPERTIES FIXTURES_REQUIRED wineprefix)
  endif()
endfunction()
