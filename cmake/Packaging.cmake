# The Debian package, made by CPack from the install rules (cmake/Install.cmake):
#   cpack --config build/CPackConfig.cmake   ->   build/packages/quarvel_<version>_<arch>.deb
# scripts/package does the whole run.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quarvel developers")
set(CPACK_PACKAGE_CONTACT "Quarvel developers <dev@quarvel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "look up a handset by its serial number or IMEI")
set(CPACK_PACKAGE_DESCRIPTION
    "Quarvel is a desktop program with a Chinese user interface that looks up a
handset by its serial number or IMEI: the comprehensive query asks an
independent lookup site and shows the picture it returns, the official-site
query fills the serial into the maker's warranty page and shows the model
and the warranty end date. Spoken cues announce each step; results can be
copied, and screen regions captured and saved.
.")
if(TARGET quarvel-cli)
  string(APPEND CPACK_PACKAGE_DESCRIPTION
         "\nThe package also holds quarvel-cli, for offline checks, batch lookups and the
lookup history, and quarvel-demo, a demo site on loopback to try both on.")
else()
  string(APPEND CPACK_PACKAGE_DESCRIPTION
         "\nThe package also holds quarvel-demo, a demo site on loopback to try it on.")
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quarvel developers <dev@quarvel.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The libraries come from what the programs link (dpkg-shlibdeps); what is
# loaded at run time only is named here: the GStreamer elements that play the
# MP3 cues and the toolkit's Chinese translations.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, qt6-translations-l10n")
# The completions of quarvel-cli are loaded by bash-completion.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei, bash-completion")

include(CPack)
