# CTest check of the manual page: groff formats it with every warning on
# and must print nothing, and the page gives the tool's version.
# Run as: cmake -DGROFF=... -DPAGE=... -DVERSION_HEADER=common/version.hpp -P this-file
if(NOT GROFF)
  message(FATAL_ERROR "groff not found (tools/install-deps.sh installs groff-base)")
endif()
execute_process(COMMAND ${GROFF} -man -ww -z ${PAGE}
  RESULT_VARIABLE status ERROR_VARIABLE warnings OUTPUT_VARIABLE output)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "" OR NOT output STREQUAL "")
  message(FATAL_ERROR "groff -man -ww -z ${PAGE} (status ${status}):\n${warnings}${output}")
endif()

# The page's title line and its banner give the tool's version (kVersion).
if(VERSION_HEADER)
  file(STRINGS ${VERSION_HEADER} version_line REGEX "kVersion = \"")
  string(REGEX MATCH "\"([0-9][0-9.]*)\"" _ "${version_line}")
  set(version ${CMAKE_MATCH_1})
  file(READ ${PAGE} page)
  string(FIND "${page}" "\"mozaik32 ${version}\"" title_at)
  string(FIND "${page}" "MOZAIK32 V${version} " banner_at)
  if(version STREQUAL "" OR title_at EQUAL -1 OR banner_at EQUAL -1)
    message(FATAL_ERROR "${PAGE} does not give the tool's version \"${version}\" in its .TH line and banner")
  endif()
endif()
