# Writes the system-wide class registration of the packaged Ledgerwell: the program records
# the built library for a throw-away user, and the path is then replaced by the installed one.
# -DPROGRAM=varnock_udp -DLIBRARY=built Ledgerwell.so -DINSTALLED=path -DOUTPUT=file
set(home ${OUTPUT}.home)
file(REMOVE_RECURSE ${home})
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env XDG_CONFIG_HOME=${home} QT_QPA_PLATFORM=offscreen
        ${PROGRAM} --regserver ${LIBRARY}
    RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE error)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "varnock_udp --regserver failed: ${error}")
endif()
file(READ ${home}/Halvemark/ClassRegistry.ini registration)
string(FIND "${registration}" "${LIBRARY}" found)
if(found LESS 0)
    message(FATAL_ERROR "the registration does not name ${LIBRARY}")
endif()
string(REPLACE "${LIBRARY}" "${INSTALLED}" registration "${registration}")
file(WRITE ${OUTPUT} "${registration}")
file(REMOVE_RECURSE ${home})
