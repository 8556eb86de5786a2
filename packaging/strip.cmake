# Run by CPack on the staged files: strips the programs as Debian's dh_strip
# does, without the .comment and .note sections that CMake's strip leaves.
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*")
if(NOT programs)
  message(FATAL_ERROR "strip.cmake: no programs staged")
endif()
foreach(program IN LISTS programs)
  execute_process(
    COMMAND "${CPACK_JESTPAD_STRIP}" --remove-section=.comment --remove-section=.note "${program}"
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "strip.cmake: ${CPACK_JESTPAD_STRIP} failed on ${program}")
  endif()
endforeach()
