# Build rules shared by every target of the project.

set(OSTRANE_WINDOWS ${WIN32})

add_library(ostrane-options INTERFACE)
target_compile_options(ostrane-options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                                 -Wno-sign-conversion -Wno-missing-field-initializers)
target_include_directories(ostrane-options INTERFACE ${PROJECT_SOURCE_DIR})

if(OSTRANE_SANITIZE)
  target_compile_options(ostrane-options INTERFACE -fsanitize=address,undefined
                                                   -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(ostrane-options INTERFACE -fsanitize=address,undefined)
endif()

if(OSTRANE_WINDOWS)
  # UNICODE makes every Win32 macro pick its W form; the executable must
  # carry its own C++ runtime, so that it needs only the DLLs of Windows.
  target_compile_definitions(ostrane-options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                       _WIN32_WINNT=0x0A00)
  target_link_options(ostrane-options INTERFACE -static -static-libgcc -static-libstdc++)
  # Sections that start on page boundaries in the file let Wine map the
  # image instead of copying it into memory at every start: some 6 ms of
  # each run of ostrane.exe under Wine. Windows maps either layout.
  target_link_options(ostrane-options INTERFACE -Wl,--file-alignment=0x1000)

  # Debian's header-only libraries sit in /usr/include beside the host's own
  # headers; the cross compiler sees a directory that holds only them.
  set(OSTRANE_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third-party-include)
  file(MAKE_DIRECTORY ${OSTRANE_THIRD_PARTY_INCLUDE})
  foreach(lib toml++ nlohmann)
    if(EXISTS /usr/include/${lib} AND NOT EXISTS ${OSTRANE_THIRD_PARTY_INCLUDE}/${lib})
      file(CREATE_LINK /usr/include/${lib} ${OSTRANE_THIRD_PARTY_INCLUDE}/${lib} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(ostrane-options SYSTEM INTERFACE ${OSTRANE_THIRD_PARTY_INCLUDE})
endif()

# Sources named *_win.cpp (and their tests, *_win_test.cpp) form the Windows layer; the host build leaves them
# out, which is what keeps the portable core free of <windows.h>; the
# Windows build likewise leaves out the host's *_posix.cpp stand-ins.
function(ostrane_target_sources target)
  foreach(src IN LISTS ARGN)
    if(src MATCHES "_win(_test)?\\.cpp$" AND NOT OSTRANE_WINDOWS)
      continue()
    endif()
    if(src MATCHES "_posix(_test)?\\.cpp$" AND OSTRANE_WINDOWS)
      continue()
    endif()
    target_sources(${target} PRIVATE ${src})
  endforeach()
endfunction()

# Tests that run the Windows programs share one Wine prefix, made before the
# first of them and whose server is stopped after the last.
set(OSTRANE_WINE_RUN ${PROJECT_SOURCE_DIR}/tools/wine-run)
function(ostrane_add_wine_fixture)
  get_property(defined GLOBAL PROPERTY OSTRANE_WINE_FIXTURE)
  if(defined)
    return()
  endif()
  set_property(GLOBAL PROPERTY OSTRANE_WINE_FIXTURE ON)
  add_test(NAME wine-prefix-setup COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-prefix setup)
  add_test(NAME wine-prefix-stop COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-prefix stop)
  set_tests_properties(wine-prefix-setup PROPERTIES FIXTURES_SETUP wine)
  set_tests_properties(wine-prefix-stop PROPERTIES FIXTURES_CLEANUP wine)
endfunction()

# One GoogleTest binary, registered as one ctest test; the Windows ones run
# under Wine through the cross-compiling emulator.
function(ostrane_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name})
  ostrane_target_sources(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} ostrane-options ostrane-gtest-main)
  add_test(NAME ${name} COMMAND ${name})
  # A skipped GoogleTest case would exit 0; ctest must say so rather than
  # count the binary as passed (tests/support/gtest_main.cpp).
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
  if(OSTRANE_WINDOWS)
    ostrane_add_wine_fixture()
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine)
  endif()
endfunction()
