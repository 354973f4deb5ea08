# stage.cmake -- run by cpack between the install into its staging folder and the
# making of the package, on the installed programs: strips the sections that strip
# keeps but a package has no use for, and has dpkg-shlibdeps name the packages of
# the libraries they link; those join the declared run-time dependencies.
# (CPack's own shlibdeps step first runs `file` on each of the ~650 sample-data
# files, which takes a minute.)
set(stage ${CPACK_TEMPORARY_DIRECTORY})
file(GLOB_RECURSE installed LIST_DIRECTORIES false ${stage}/usr/bin/* ${stage}/usr/libexec/*)
set(programs)
foreach(path IN LISTS installed)
    file(READ ${path} magic LIMIT 4 HEX)
    if(magic STREQUAL "7f454c46")   # "\x7fELF"
        list(APPEND programs ${path})
    endif()
endforeach()
if(NOT programs)
    message(FATAL_ERROR "stage.cmake: no program in ${stage}")
endif()

execute_process(COMMAND ${CPACK_TALLYMAP_STRIP} --remove-section=.comment --remove-section=.note
                ${programs} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "strip failed on ${programs}")
endif()

# dpkg-shlibdeps wants a debian/control beside it; an empty one will do.
set(scratch ${CPACK_TOPLEVEL_DIRECTORY}/shlibdeps)
file(MAKE_DIRECTORY ${scratch}/debian)
file(TOUCH ${scratch}/debian/control)
execute_process(COMMAND dpkg-shlibdeps -O ${programs}
    WORKING_DIRECTORY ${scratch}
    OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT output MATCHES "shlibs:Depends=([^\n]+)")
    message(FATAL_ERROR "dpkg-shlibdeps failed (${status}): ${errors}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}, ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
message(STATUS "Depends: ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
