# Debian package: cpack -G DEB in the Linux build folder.
set(CPACK_PACKAGE_NAME nubeko)
set(CPACK_PACKAGE_VENDOR "Nubeko")
set(CPACK_PACKAGE_CONTACT "Nubeko developers <dev@nubeko.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Picture gallery window with a date and time caption")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# Runtime dependencies come from the libraries the program links (GTK 3, WebKitGTK 4.1).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
