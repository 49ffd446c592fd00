# Install, desktop integration and Debian packages.
#
# Layout under the prefix: the program folder lib/tarn-converter/ holds both programs with
# PLUG-IN/ffmpeg_III.exe beside them, exactly as the build's bin/ does, so the encoder tool is
# found beside the executable; bin/ holds relative links to the programs. The program folder is
# deliberately not the multiarch library folder: it is a private folder of programs.
include(GNUInstallDirs)

set(TARN_RELEASE_DATE "2026-12-07")  # of PROJECT_VERSION
set(TARN_APP_ID "com.kestrova.TarnConverter")
set(TARN_CONSOLE_ID "com.kestrova.TarnConvert")
set(TARN_PROGRAM_DIR "lib/tarn-converter" CACHE STRING "Program folder, relative to the prefix")
set(TARN_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(TARN_GENERATED_DIR ${CMAKE_BINARY_DIR}/packaging)

# A program on the PATH: a relative link into the program folder (DESTDIR-aware).
function(tarn_install_program_link name component)
  file(RELATIVE_PATH target /${CMAKE_INSTALL_BINDIR} /${TARN_PROGRAM_DIR}/${name})
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${name}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    message(STATUS \"Installing: \${link} -> ${target}\")
    file(CREATE_LINK \"${target}\" \"\${link}\" SYMBOLIC)"
    COMPONENT ${component})
endfunction()

# --- the console program and the encoder tool (package tarn-convert) -------------------------
install(TARGETS tarn-convert RUNTIME DESTINATION ${TARN_PROGRAM_DIR} COMPONENT console)
install(TARGETS ffmpeg_III RUNTIME DESTINATION ${TARN_PROGRAM_DIR}/PLUG-IN COMPONENT console)
tarn_install_program_link(tarn-convert console)

configure_file(${TARN_PACKAGING_DIR}/${TARN_CONSOLE_ID}.metainfo.xml.in
  ${TARN_GENERATED_DIR}/${TARN_CONSOLE_ID}.metainfo.xml @ONLY)
install(FILES ${TARN_GENERATED_DIR}/${TARN_CONSOLE_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo COMPONENT console)

# The console program's manual page is made from its own --help (not in sanitizer builds, which
# are never installed).
find_program(TARN_HELP2MAN help2man)
if(TARN_SANITIZE)
elseif(TARN_HELP2MAN)
  add_custom_command(OUTPUT ${TARN_GENERATED_DIR}/tarn-convert.1
    COMMAND ${TARN_HELP2MAN} --no-info --no-discard-stderr
      --name "convert panoramic-lens movies into rectangular panoramic movies"
      --output ${TARN_GENERATED_DIR}/tarn-convert.1 $<TARGET_FILE:tarn-convert>
    DEPENDS tarn-convert
    COMMENT "Manual page of tarn-convert from its --help")
  add_custom_target(tarn-convert-manual ALL DEPENDS ${TARN_GENERATED_DIR}/tarn-convert.1)
  install(FILES ${TARN_GENERATED_DIR}/tarn-convert.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT console)
else()
  message(WARNING "help2man not found: tarn-convert is installed without its manual page")
endif()

# --- the window program (package tarn-converter) ---------------------------------------------
if(TARN_BUILD_GUI)
  install(TARGETS tarn-converter RUNTIME DESTINATION ${TARN_PROGRAM_DIR} COMPONENT window)
  tarn_install_program_link(tarn-converter window)
  install(FILES ${TARN_PACKAGING_DIR}/${TARN_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications COMPONENT window)
  configure_file(${TARN_PACKAGING_DIR}/${TARN_APP_ID}.metainfo.xml.in
    ${TARN_GENERATED_DIR}/${TARN_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${TARN_GENERATED_DIR}/${TARN_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo COMPONENT window)
  configure_file(${TARN_PACKAGING_DIR}/tarn-converter.1.in ${TARN_GENERATED_DIR}/tarn-converter.1
    @ONLY)
  install(FILES ${TARN_GENERATED_DIR}/tarn-converter.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT window)

  # The hicolor icons, rendered from the program's own icon drawing.
  add_executable(tarn-icon-render ${CMAKE_SOURCE_DIR}/tools/icon_render/icon_render.cpp)
  target_link_libraries(tarn-icon-render PRIVATE tarn_gui)
  set_target_properties(tarn-icon-render PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
  set(TARN_ICON_DIR ${TARN_GENERATED_DIR}/icons/hicolor)
  add_custom_command(OUTPUT ${TARN_ICON_DIR}/scalable/apps/${TARN_APP_ID}.svg
    COMMAND tarn-icon-render ${TARN_ICON_DIR} ${TARN_APP_ID}
    DEPENDS tarn-icon-render
    COMMENT "Desktop icons of the window program")
  add_custom_target(tarn-desktop-icons ALL
    DEPENDS ${TARN_ICON_DIR}/scalable/apps/${TARN_APP_ID}.svg)
  install(DIRECTORY ${TARN_ICON_DIR}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons COMPONENT window)
endif()

# --- Debian packages ---------------------------------------------------------------------------
# Two packages: tarn-convert (the console program and the encoder tool: what a machine without a
# desktop needs, without wxWidgets, GTK or SDL) and tarn-converter (the window program and its
# desktop files), which depends on the first because it runs the same encoder tool from the same
# program folder. Library dependencies come from dpkg-shlibdeps; ffmpeg is run, not linked.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarn-converter)
set(CPACK_PACKAGE_VENDOR "Kestrova Inc.")
set(CPACK_PACKAGE_CONTACT "Kestrova Inc. <support@kestrova.com>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_STRIP_FILES ON)  # the debug information stays in the build
set(CPACK_COMPONENTS_ALL console)
if(TARN_BUILD_GUI)
  list(APPEND CPACK_COMPONENTS_ALL window)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.kestrova.com")
set(CPACK_DEBIAN_CONSOLE_PACKAGE_NAME tarn-convert)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_DEPENDS "ffmpeg")
set(CPACK_COMPONENT_CONSOLE_DESCRIPTION
  "panoramic-lens movie converter (command line and encoder tool)
 tarn-convert turns a movie shot through a panoramic lens, laid out as a wide
 cylindrical strip, into a rectangular panoramic movie. It holds the encoder
 tool that both converter programs run; encoding is done by ffmpeg.")
set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME tarn-converter)
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "tarn-convert (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_WINDOW_DESCRIPTION
  "panoramic-lens movie converter (desktop program)
 The Kestrova Tarn Video Converter turns a movie shot through a panoramic lens,
 laid out as a wide cylindrical strip, into a rectangular panoramic movie, with
 a preview, an optional logo in the bands above and below the strip and a
 choice of containers and compression settings.")
include(CPack)
