# Install rules, in the usual layout under the prefix:
#   bin/                          quarvel, quarvel-cli, quarvel-demo
#   share/quarvel/                the skin and mp3/ with the voice cues (the
#                                 program looks beside itself first, then in
#                                 ../share/quarvel)
#   share/applications/, share/metainfo/, share/icons/hicolor/, share/man/man1/
#   share/bash-completion/, share/zsh/, share/fish/   quarvel-cli's completions
include(GNUInstallDirs)

set(QUARVEL_INSTALLED_PROGRAMS)
foreach(program quarvel quarvel-cli quarvel-demo)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    list(APPEND QUARVEL_INSTALLED_PROGRAMS ${program})
  endif()
endforeach()
# A stripped install (install/strip, the package) also drops the sections
# nothing reads at run time, the compilers' notes, as Debian's dh_strip does.
if(CMAKE_STRIP)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(program ${QUARVEL_INSTALLED_PROGRAMS})
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
          COMMAND_ERROR_IS_FATAL ANY)
      endforeach()
    endif()")
endif()

set(QUARVEL_DATA_DESTINATION ${CMAKE_INSTALL_DATADIR}/quarvel)
install(FILES ${QUARVEL_CUES} DESTINATION ${QUARVEL_DATA_DESTINATION}/mp3)
install(FILES "${QUARVEL_ASSETS}/魔兽争霸.she" DESTINATION ${QUARVEL_DATA_DESTINATION})

install(FILES ${CMAKE_SOURCE_DIR}/data/org.quarvel.Quarvel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/data/org.quarvel.Quarvel.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${QUARVEL_ASSETS}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${CMAKE_SOURCE_DIR}/data/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Man pages and the changelog, compressed as Debian installs them (-n: no time
# stamp inside, so that the package is reproducible).
find_program(QUARVEL_GZIP gzip REQUIRED)
function(quarvel_gzip source out)
  get_filename_component(dir ${out} DIRECTORY)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${QUARVEL_GZIP} -9 -n -c ${source} > ${out}
    DEPENDS ${source} VERBATIM)
endfunction()
set(QUARVEL_MAN_PAGES)
foreach(page quarvel quarvel-cli quarvel-demo)
  if(TARGET ${page})
    quarvel_gzip(${CMAKE_SOURCE_DIR}/docs/man/${page}.1 ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
    list(APPEND QUARVEL_MAN_PAGES ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  endif()
endforeach()
set(changelog ${CMAKE_BINARY_DIR}/doc/changelog.gz)
quarvel_gzip(${CMAKE_SOURCE_DIR}/data/changelog ${changelog})
add_custom_target(quarvel_compressed_docs ALL DEPENDS ${QUARVEL_MAN_PAGES} ${changelog})
install(FILES ${QUARVEL_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})

# quarvel-cli's shell completions, made by the program just built from its
# table of commands, where the shells look for them.
set(QUARVEL_COMPLETIONS)
if(TARGET quarvel-cli AND NOT CMAKE_CROSSCOMPILING)
  set(dir ${CMAKE_BINARY_DIR}/completions)
  set(QUARVEL_COMPLETIONS ${dir}/quarvel-cli ${dir}/_quarvel-cli ${dir}/quarvel-cli.fish)
  add_custom_command(OUTPUT ${QUARVEL_COMPLETIONS}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND quarvel-cli completions bash > ${dir}/quarvel-cli
    COMMAND quarvel-cli completions zsh > ${dir}/_quarvel-cli
    COMMAND quarvel-cli completions fish > ${dir}/quarvel-cli.fish
    DEPENDS quarvel-cli VERBATIM)
  install(FILES ${dir}/quarvel-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  install(FILES ${dir}/_quarvel-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
  install(FILES ${dir}/quarvel-cli.fish
          DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
endif()
add_custom_target(quarvel_completions ALL DEPENDS ${QUARVEL_COMPLETIONS})

# Everything the install rules above take from the build tree.
add_custom_target(quarvel_installables
  DEPENDS ${QUARVEL_INSTALLED_PROGRAMS} quarvel_assets quarvel_compressed_docs quarvel_completions)
