# What cpack makes: the Debian package of tavrin-anchors (CPackConfig.cmake, cpack's default) and
# the zip of the Windows deliverables that scripts/build-windows leaves in dist/
# (CPackWindowsConfig.cmake).
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tavrin-anchors)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrin-anchors)
set(CPACK_PACKAGE_VERSION ${TAVRIN_VERSION})
set(CPACK_PACKAGE_VENDOR Halvek)
set(CPACK_PACKAGE_CONTACT "Halvek <tavrin@halvek.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "list the links of an HTML page and its frames")
set(CPACK_PACKAGE_DESCRIPTION
  "tavrin-anchors loads a local HTML file or an http/https address with its frames and prints "
  "the links the Tavrin bar would list for it, as HTML, plain addresses, TSV, CSV or JSON.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/CPackWindowsConfig.cmake @ONLY CONTENT [[
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Tavrin)
set(CPACK_PACKAGE_VERSION @TAVRIN_VERSION@)
set(CPACK_PACKAGE_FILE_NAME Tavrin-@TAVRIN_VERSION@-windows)
set(CPACK_PACKAGE_DESCRIPTION "The Tavrin bar and its settings tool for Windows x86 and x64")
set(CPACK_INSTALLED_DIRECTORIES
  "@PROJECT_SOURCE_DIR@/dist/x86;x86"
  "@PROJECT_SOURCE_DIR@/dist/x64;x64"
  "@PROJECT_SOURCE_DIR@/packaging/windows;.")
]])
