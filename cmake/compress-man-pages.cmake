# Run by CPack on the staged files before it builds the packages: the
# manual pages go in compressed, as Debian wants them (gzip -9n: the best
# compression, no name or time stamp, so the same pages give the same bytes).
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.[1-9]")
list(FILTER pages INCLUDE REGEX "/share/man/man[1-9]/[^/]+$")
if(NOT pages)
  message(FATAL_ERROR "no manual pages below ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(page IN LISTS pages)
  execute_process(COMMAND gzip -9nf ${page} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${page} failed")
  endif()
endforeach()
