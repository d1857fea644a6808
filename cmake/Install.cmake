# Installation laid out like a Debian desktop program, and its Debian package:
#   bin/wanderpup
#   share/applications/example.wanderpup.wanderpup.desktop
#   share/metainfo/example.wanderpup.wanderpup.metainfo.xml   (software centres list it from this)
#   share/icons/hicolor/<size>x<size>/apps/wanderpup.png
#   share/man/man1/wanderpup.1.gz
#   share/doc/wanderpup/copyright, changelog.gz
#   share/wanderpup/Sound/Kouka.wav   (copied into the user's folder at the first start)
# An installed program cannot write beside itself, so it keeps its files in
# $XDG_DATA_HOME/Wanderpup; see src/platform/ProgramFolder.h.
include(GNUInstallDirs)

install(TARGETS wanderpup RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(WANDERPUP_APP_ID example.wanderpup.wanderpup)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${WANDERPUP_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${WANDERPUP_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/assets/icons/${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME wanderpup.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/assets/dogs/Kouka.wav DESTINATION ${CMAKE_INSTALL_DATADIR}/wanderpup/Sound)

# The manual page and the changelog go compressed, without a name or time stamp in the gzip
# header, so that two builds give the same bytes.
set(packaging_out ${CMAKE_BINARY_DIR}/packaging)
foreach(file wanderpup.1 changelog)
  add_custom_command(OUTPUT ${packaging_out}/${file}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_out}
    COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${PROJECT_SOURCE_DIR}/packaging/${file} ${packaging_out}/${file}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${file}
    VERBATIM)
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${packaging_out}/wanderpup.1.gz ${packaging_out}/changelog.gz)
install(FILES ${packaging_out}/wanderpup.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${packaging_out}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/wanderpup)

# `cpack -G DEB` in the build folder. The libraries the program links come from dpkg-shlibdeps;
# what it loads by name is declared here: a Japanese font for every caption.
set(CPACK_PACKAGE_NAME wanderpup)
set(CPACK_PACKAGE_VENDOR Wanderpup)
set(CPACK_PACKAGE_CONTACT "Wanderpup developers <wanderpup@wanderpup.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "mail client whose dogs announce new mail")
set(CPACK_PACKAGE_DESCRIPTION
    "Wanderpup fetches one POP3 mailbox, keeps every received and sent mail in\n"
    "history files, sends mail over SMTP and keeps an address book. Ten dogs live\n"
    "in its dog-house window and run over the desktop when new mail arrives.\n"
    "Its texts are Japanese.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.wanderpup.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic | fonts-japanese-gothic")
# ca-certificates: the system's authorities vouch for real mail servers; a sound server for the bark.
# Emoji and the rarer kanji (𠮷) that mail carries are drawn from these fonts.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "ca-certificates, pulseaudio | pipewire-pulse, qt6-translations-l10n, fonts-noto-color-emoji, fonts-noto-cjk")
include(CPack)
