# CTest check of the manual page: groff formats it with every warning on
# and must print nothing. Run as: cmake -DGROFF=... -DPAGE=... -P this-file
if(NOT GROFF)
  message(FATAL_ERROR "groff not found (tools/install-deps.sh installs groff-base)")
endif()
execute_process(COMMAND ${GROFF} -man -ww -z ${PAGE}
  RESULT_VARIABLE status ERROR_VARIABLE warnings OUTPUT_VARIABLE output)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "" OR NOT output STREQUAL "")
  message(FATAL_ERROR "groff -man -ww -z ${PAGE} (status ${status}):\n${warnings}${output}")
endif()
