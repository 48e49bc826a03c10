# The archive a Windows user unpacks and runs: make dist, or cpack in the
# windows build tree. Only what is installed here goes in.
install(TARGETS ostrane RUNTIME DESTINATION .)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/profiles/ DESTINATION profiles)

# The collection as one page, beside it.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
file(GLOB OSTRANE_PROFILE_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/profiles/*.toml)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/catalogue.html
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/make-catalogue.py
          --profiles ${PROJECT_SOURCE_DIR}/profiles --out ${CMAKE_BINARY_DIR}/catalogue.html
  DEPENDS ${PROJECT_SOURCE_DIR}/scripts/make-catalogue.py ${OSTRANE_PROFILE_FILES}
  COMMENT "Writing the catalogue of the profiles")
add_custom_target(catalogue ALL DEPENDS ${CMAKE_BINARY_DIR}/catalogue.html)
install(FILES ${CMAKE_BINARY_DIR}/catalogue.html DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
              ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ostrane)
set(CPACK_PACKAGE_VENDOR "Ostrane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ostrane-${PROJECT_VERSION}-win64)
# Unpacks into its own ostrane-2.2.1-win64 directory, ready to run from there.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/dist)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# Symbols are of no use to a user and double the size of the download.
set(CPACK_STRIP_FILES ON)
include(CPack)
