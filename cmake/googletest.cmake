# GoogleTest from Debian's sources, built with the project's own compiler so
# that the same tests run natively and, cross-built, under Wine.
set(OSTRANE_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${OSTRANE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
if(OSTRANE_WINDOWS)
  target_link_options(gtest PUBLIC -static)
endif()
