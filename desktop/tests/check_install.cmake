# Installs the build into a scratch prefix and checks that the tree holds everything a desktop
# expects, each icon at its stated size.
file(REMOVE_RECURSE ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${STAGE}
    RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

set(expected
    ${BINDIR}/esp8266-console ${BINDIR}/esp8266-sim
    ${DATADIR}/applications/${APP_ID}.desktop
    ${DATADIR}/metainfo/${APP_ID}.metainfo.xml
    ${DATADIR}/icons/hicolor/scalable/apps/${APP_ID}.svg
    ${MANDIR}/man1/esp8266-console.1.gz ${MANDIR}/man1/esp8266-sim.1.gz
    ${DOCDIR}/copyright ${DOCDIR}/changelog.gz)
foreach(path IN LISTS expected)
    if(NOT EXISTS ${STAGE}/${path})
        message(SEND_ERROR "missing ${path}")
    endif()
endforeach()
foreach(program esp8266-console esp8266-sim)
    execute_process(COMMAND test -x ${STAGE}/${BINDIR}/${program} RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(SEND_ERROR "${program} is not executable")
    endif()
endforeach()

# A PNG's width and height are the two big-endian words at byte 16.
foreach(size IN LISTS THEME_SIZES)
    set(png ${STAGE}/${DATADIR}/icons/hicolor/${size}x${size}/apps/${APP_ID}.png)
    if(NOT EXISTS ${png})
        message(SEND_ERROR "missing icon ${size}x${size}")
        continue()
    endif()
    file(READ ${png} header OFFSET 16 LIMIT 8 HEX)
    string(SUBSTRING ${header} 0 8 width_hex)
    string(SUBSTRING ${header} 8 8 height_hex)
    math(EXPR width "0x${width_hex}")
    math(EXPR height "0x${height_hex}")
    if(NOT width EQUAL size OR NOT height EQUAL size)
        message(SEND_ERROR "icon ${size}x${size} is ${width}x${height}")
    endif()
endforeach()

# The metainfo as installed: its launchable must name the installed desktop entry.
if(APPSTREAMCLI)
    execute_process(COMMAND ${APPSTREAMCLI} validate-tree --no-net ${STAGE} RESULT_VARIABLE status
        OUTPUT_VARIABLE report ERROR_VARIABLE report)
    if(NOT status EQUAL 0 OR report MATCHES "(^|\n)[EW]: ")
        message(SEND_ERROR "appstreamcli validate-tree:\n${report}")
    endif()
endif()
