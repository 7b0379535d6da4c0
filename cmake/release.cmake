# What a user downloads: the version the programs report, the install rules and the packages.
#
#   Linux:   cpack -G DEB   livrana-convert_<version>_<arch>.deb: /usr/bin/livrana-convert, the
#                           manual page livrana-convert.1 (Portuguese) and the guide
#   Windows: cpack -G ZIP   livrana-<version>-win32.zip (or -win64): livrana.exe,
#                           livrana-convert.exe and the guide (guia.html with its images)
#
# scripts/package.sh builds both. The guide (docs/guia.md) is rendered to HTML with cmark-gfm
# and the manual page is compressed with gzip; both only with -DLIVRANA_PACKAGE=ON, so that
# an ordinary build needs neither.

option(LIVRANA_PACKAGE "Build the guide and the manual page, and set up cpack" OFF)

# The version that livrana-convert --version prints, and that the tests compare it with.
target_compile_definitions(livrana-convert PRIVATE LIVRANA_VERSION="${PROJECT_VERSION}")
if(TARGET livrana_tests)
  target_compile_definitions(livrana_tests PRIVATE LIVRANA_VERSION="${PROJECT_VERSION}")
endif()

if(WIN32)
  # The programs and the guide side by side at the top of the ZIP.
  set(LIVRANA_BIN_DIR .)
  set(LIVRANA_DOC_DIR .)
  install(TARGETS livrana livrana-convert RUNTIME DESTINATION ${LIVRANA_BIN_DIR})
else()
  include(GNUInstallDirs)
  set(LIVRANA_BIN_DIR ${CMAKE_INSTALL_BINDIR})
  set(LIVRANA_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/livrana-convert)
  install(TARGETS livrana-convert RUNTIME DESTINATION ${LIVRANA_BIN_DIR})
endif()

if(NOT LIVRANA_PACKAGE)
  return()
endif()

# --- the guide: docs/guia.md as one HTML page, its images beside it ---------------------
find_program(LIVRANA_CMARK NAMES cmark-gfm REQUIRED)
set(GUIDE_HTML ${CMAKE_CURRENT_BINARY_DIR}/guia.html)
file(GLOB GUIDE_IMAGES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/docs/img/*.png)
add_custom_command(
  OUTPUT ${GUIDE_HTML}
  COMMAND ${CMAKE_COMMAND} -DCMARK=${LIVRANA_CMARK}
          -DINPUT=${CMAKE_CURRENT_SOURCE_DIR}/docs/guia.md -DOUTPUT=${GUIDE_HTML}
          "-DTITLE=Livrana ${PROJECT_VERSION} - Guia do conversor de dados"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/render-guide.cmake
  DEPENDS docs/guia.md cmake/render-guide.cmake
  COMMENT "Rendering the guide docs/guia.md"
  VERBATIM)
add_custom_target(livrana_guide ALL DEPENDS ${GUIDE_HTML})
install(FILES ${GUIDE_HTML} DESTINATION ${LIVRANA_DOC_DIR})
install(FILES ${GUIDE_IMAGES} DESTINATION ${LIVRANA_DOC_DIR}/img)

if(NOT WIN32)
  # --- the manual page, compressed as Debian keeps them ----------------------------------
  find_program(LIVRANA_GZIP gzip REQUIRED)
  set(MAN_GZ ${CMAKE_CURRENT_BINARY_DIR}/livrana-convert.1.gz)
  add_custom_command(
    OUTPUT ${MAN_GZ}
    COMMAND sh -c "\"$0\" -9nc \"$1\" > \"$2\"" ${LIVRANA_GZIP}
            ${CMAKE_CURRENT_SOURCE_DIR}/docs/livrana-convert.1 ${MAN_GZ}
    DEPENDS docs/livrana-convert.1
    COMMENT "Compressing the manual page livrana-convert.1"
    VERBATIM)
  add_custom_target(livrana_man ALL DEPENDS ${MAN_GZ})
  install(FILES ${MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# --- cpack ---------------------------------------------------------------------------------
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vemo")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "conversor de dados do Livrana ${PROJECT_VERSION} (linha de comando)")
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_CURRENT_BINARY_DIR}/packages)
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(LIVRANA_WINDOWS_KIND win32)
  else()
    set(LIVRANA_WINDOWS_KIND win64)
  endif()
  set(CPACK_PACKAGE_NAME livrana)
  set(CPACK_PACKAGE_FILE_NAME livrana-${PROJECT_VERSION}-${LIVRANA_WINDOWS_KIND})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME livrana-convert)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_NAME livrana-convert)
  set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The address is a placeholder until the product has one for its packages.
  set(LIVRANA_MAINTAINER "Equipe Livrana <livrana@example.com>"
      CACHE STRING "The Maintainer field of the Debian package")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${LIVRANA_MAINTAINER})
  # Depends from the libraries the program really links (dpkg-shlibdeps).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "O livrana-convert converte os arquivos de dados do Livrana dos formatos de\n"
      "versões anteriores para os atuais, na pasta de dados (por exemplo no servidor\n"
      "de arquivos que a compartilha com o Samba): a conversão 4.34 das notas fiscais\n"
      "e da tabela de telefones FTEL1.DAT, e as rotinas das conversões anteriores.\n"
      "Inclui a página de manual livrana-convert(1) e o guia em\n"
      "/usr/share/doc/livrana-convert/guia.html.")
  string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
endif()

include(CPack)
