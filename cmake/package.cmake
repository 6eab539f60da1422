# Installing Zelto, and the Debian package built from that installation (scripts/package).
# The programs always install; the desktop files, icons, manual pages and Debian documents only
# with ZELTO_PACKAGING, which needs help2man, rsvg-convert and gzip at build time.

include(GNUInstallDirs)

option(ZELTO_PACKAGING "Build and install the desktop entry, icons, manual pages and Debian documents" OFF)
# Reverse-DNS name of the desktop entry, the icon and the metainfo (as written in packaging/).
set(ZELTO_APP_ID org.zelto.Zelto)
set(ZELTO_HOMEPAGE "https://zelto.org" CACHE STRING "Home page named in the package and its metainfo")
set(ZELTO_SCREENSHOT_URL "${ZELTO_HOMEPAGE}/docs/zelto-en.png" CACHE STRING
    "Where software centres fetch the screenshot (a web address: docs/zelto-en.png as published)")
set(ZELTO_MAINTAINER "Zelto <dev@zelto.org>" CACHE STRING "Maintainer of the Debian package")

set(ZELTO_PROGRAMS zeltoctl zelto-sim)
if(TARGET zelto)
  list(PREPEND ZELTO_PROGRAMS zelto)
endif()
install(TARGETS ${ZELTO_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(ZELTO_PACKAGING)
  if(NOT TARGET zelto)
    message(FATAL_ERROR "ZELTO_PACKAGING needs the editor: configure without ZELTO_ENGINE_ONLY")
  endif()
  find_program(ZELTO_HELP2MAN help2man REQUIRED)
  find_program(ZELTO_RSVG rsvg-convert REQUIRED)
  find_program(ZELTO_GZIP gzip REQUIRED)
  set(pkg "${PROJECT_SOURCE_DIR}/packaging")
  set(out "${PROJECT_BINARY_DIR}/packaging")
  file(MAKE_DIRECTORY "${out}")

  # Dates from the commit, so two builds of one commit give the same package.
  set(ZELTO_RELEASE_DATE "")
  set(ZELTO_CHANGELOG_DATE "")
  set(ZELTO_SOURCE_EPOCH "")
  if(GIT_FOUND AND EXISTS "${PROJECT_SOURCE_DIR}/.git")
    execute_process(COMMAND "${GIT_EXECUTABLE}" log -1 --format=%cs%n%cD%n%ct
                    WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" OUTPUT_VARIABLE _zelto_dates
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(_zelto_dates)
      string(REPLACE "\n" ";" _zelto_dates "${_zelto_dates}")
      list(GET _zelto_dates 0 ZELTO_RELEASE_DATE)
      list(GET _zelto_dates 1 ZELTO_CHANGELOG_DATE)
      list(GET _zelto_dates 2 ZELTO_SOURCE_EPOCH)
    endif()
  endif()
  if(NOT ZELTO_RELEASE_DATE)
    string(TIMESTAMP ZELTO_RELEASE_DATE "%Y-%m-%d" UTC)
    string(TIMESTAMP ZELTO_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
    string(TIMESTAMP ZELTO_SOURCE_EPOCH "%s" UTC)
  endif()

  configure_file("${pkg}/org.zelto.Zelto.metainfo.xml.in" "${out}/${ZELTO_APP_ID}.metainfo.xml" @ONLY)
  configure_file("${pkg}/changelog.in" "${out}/changelog" @ONLY)
  configure_file("${pkg}/org.zelto.Zelto.desktop" "${out}/${ZELTO_APP_ID}.desktop" COPYONLY)

  set(generated "")
  # Icons: the drawing, and the sizes desktops look for first.
  set(ZELTO_ICON_SIZES 16 22 24 32 48 64 128 256)
  foreach(size IN LISTS ZELTO_ICON_SIZES)
    set(png "${out}/icons/${size}x${size}/${ZELTO_APP_ID}.png")
    add_custom_command(OUTPUT "${png}"
                       COMMAND ${CMAKE_COMMAND} -E make_directory "${out}/icons/${size}x${size}"
                       COMMAND "${ZELTO_RSVG}" -w ${size} -h ${size} -o "${png}" "${pkg}/zelto.svg"
                       DEPENDS "${pkg}/zelto.svg" VERBATIM)
    list(APPEND generated "${png}")
    install(FILES "${png}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
  endforeach()
  install(FILES "${pkg}/zelto.svg" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps"
          RENAME "${ZELTO_APP_ID}.svg")

  # Manual pages from each program's own --help and --version, so they never drift apart.
  set(zelto_summary "tune the eight-output car-audio processor live over USB")
  set(zeltoctl_summary "the car-audio processor from the command line")
  set(zelto-sim_summary "simulated car-audio processor served over the report stream")
  foreach(program IN LISTS ZELTO_PROGRAMS)
    set(page "${out}/man/${program}.1")
    add_custom_command(OUTPUT "${page}.gz"
                       COMMAND ${CMAKE_COMMAND} -E make_directory "${out}/man"
                       COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${ZELTO_SOURCE_EPOCH} QT_QPA_PLATFORM=offscreen
                               "${ZELTO_HELP2MAN}" --no-info --no-discard-stderr --section=1
                               "--name=${${program}_summary}" --output=${page} $<TARGET_FILE:${program}>
                       COMMAND "${ZELTO_GZIP}" -9nf "${page}"
                       DEPENDS ${program} VERBATIM)
    list(APPEND generated "${page}.gz")
    install(FILES "${page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
  endforeach()

  add_custom_command(OUTPUT "${out}/changelog.gz"
                     COMMAND "${ZELTO_GZIP}" -9nkf "${out}/changelog"
                     DEPENDS "${out}/changelog" VERBATIM)
  list(APPEND generated "${out}/changelog.gz")
  add_custom_target(zelto_package_files ALL DEPENDS ${generated})

  install(FILES "${out}/${ZELTO_APP_ID}.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
  install(FILES "${out}/${ZELTO_APP_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
  # udev reads packaged rules from /usr/lib, whatever the library folder of this architecture.
  install(FILES "${PROJECT_SOURCE_DIR}/link/usb/70-zelto.rules" DESTINATION "lib/udev/rules.d")
  install(FILES "${pkg}/copyright" "${out}/changelog.gz" DESTINATION "${CMAKE_INSTALL_DOCDIR}")

  find_program(ZELTO_DPKG dpkg)
  set(arch amd64)
  if(ZELTO_DPKG)
    execute_process(COMMAND "${ZELTO_DPKG}" --print-architecture OUTPUT_VARIABLE arch OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME zelto)
  set(CPACK_PACKAGE_VERSION "${ZELTO_VERSION}")
  set(CPACK_PACKAGE_VENDOR Zelto)
  set(CPACK_PACKAGE_CONTACT "${ZELTO_MAINTAINER}")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tuning tool for an eight-output car-audio DSP")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME "zelto_${ZELTO_VERSION}_${arch}.deb")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "${arch}")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZELTO_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ZELTO_HOMEPAGE}")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
  # The long description only: CPack puts the summary above it as the synopsis.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Zelto tunes an eight-output digital signal processor for car audio live
over USB: 31-band EQ, crossovers, gain, phase, mute, delay, limiter and
input mix per channel, linked channel pairs, the processor's preset slots,
preset files on the PC and firmware updates, in Chinese and English.
.
The package holds the editor (zelto), the command-line tool (zeltoctl),
a simulated processor for training and tests (zelto-sim) and a udev rule
that lets the user at the seat open the processor without root.")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${pkg}/postinst")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  include(CPack)
endif()
