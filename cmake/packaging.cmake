# The packages `cmake --build BUILD --target package` makes: a Debian
# package from a native build, a ZIP from the Windows build.  Both hold
# what `cmake --install` installs.
set(CPACK_PACKAGE_NAME vorn)
set(CPACK_PACKAGE_VENDOR "The vorn developers")
set(CPACK_PACKAGE_CONTACT "The vorn developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "writes customised copies of the table MS932~EUC-JP.bin")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "vorn writes customised copies of the conversion table MS932~EUC-JP.bin,\n"
  "which gives the EUC-JP bytes of every character of code page 932. Per\n"
  "character you choose another one whose bytes the table shall give\n"
  "instead. vorn-table makes the standard table, shows and compares tables\n"
  "and lists what a table leaves unmapped.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})

if(WIN32)
  # One folder, vorn\, at the top: unpacked to C:\ it is C:\vorn.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "vorn-${PROJECT_VERSION}-win64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The programs look for their table where this build installs it, so the
  # package installs under the same prefix; packaging_checks.cmake refuses
  # a package made for another one.
  set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
  configure_file(${CMAKE_CURRENT_LIST_DIR}/packaging_checks.cmake.in
                 ${PROJECT_BINARY_DIR}/packaging_checks.cmake @ONLY)
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/packaging_checks.cmake)
endif()

include(CPack)
