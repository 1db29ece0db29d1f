# Installing and packaging what a maker needs. Windows: a zip of the stub, the
# packer, the decoder, the sample script and the guide, side by side. Host: the
# usual layout, and a Debian package of the tools and the server (made from the
# release preset: the host preset's binaries carry the sanitizers).
include(GNUInstallDirs)
# `cpack` and `cmake --install` need only what is installed, not every test.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_PACKAGE_NAME "uninstall-maker")
set(CPACK_PACKAGE_VENDOR "Pelmora")
set(CPACK_PACKAGE_VERSION "1.50")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Uninstall stub and maker's tools: packer, registration decoder, server")
set(CPACK_PACKAGE_CONTACT "Pelmora <support@pelmora.com>")
set(CPACK_STRIP_FILES TRUE)

if(WIN32)
  set(PACKAGE_BIN_DIR .)
  set(PACKAGE_DOC_DIR .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows)
else()
  set(PACKAGE_BIN_DIR ${CMAKE_INSTALL_BINDIR})
  set(PACKAGE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/uninstall-maker)
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  # ffspack installer runs makensis; every other command works without it.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS nsis)
  # The stub comes from the Windows build; installed beside the tools when there is one.
  set(UNINSTALL_STUB "${CMAKE_SOURCE_DIR}/build/win32/bin/uninstall.exe"
      CACHE FILEPATH "The Windows stub that the host install ships")
  if(EXISTS "${UNINSTALL_STUB}")
    install(FILES "${UNINSTALL_STUB}" DESTINATION ${CMAKE_INSTALL_DATADIR}/uninstall-maker)
  endif()
endif()
install(FILES samples/sample-product.txt docs/maker-guide.md DESTINATION ${PACKAGE_DOC_DIR})
include(CPack)
