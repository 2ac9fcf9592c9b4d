cmake_minimum_required(VERSION 3.20)
# Fails when an include of a folder's code points up the layers:
#   common <- archive <- image <- insert <- driver, common <- picture <- image,
#   and image <- report (the renderers), insert, report <- folder (/unpack,
#   the manifest, /pack), all below driver.
# Tests (*_test.cpp, *testing.hpp) may also include the test kit.
# Run: cmake -DSOURCE_DIR=<repository> -P tools/check_layers.cmake
set(allowed_common common)
set(allowed_archive common archive)
set(allowed_picture common picture)
set(allowed_image common archive picture image)
set(allowed_insert common archive picture image insert)
set(allowed_report common archive picture image report)
set(allowed_folder common archive picture image insert report folder)
set(allowed_driver common archive picture image insert report folder driver)

# archive/ prints nothing: its words reach the console through the Voice its
# caller passes (its tests may capture the console all the same).
set(forbidden_archive "common/console.hpp")

set(faults "")
foreach(layer common archive picture image insert report folder driver)
  file(GLOB files ${SOURCE_DIR}/${layer}/*.cpp ${SOURCE_DIR}/${layer}/*.hpp)
  foreach(file ${files})
    set(allowed ${allowed_${layer}})
    if(file MATCHES "_test\\.cpp$" OR file MATCHES "testing\\.hpp$")
      list(APPEND allowed testkit)
    endif()
    file(STRINGS ${file} includes REGEX "^#include \"[a-z_]+/")
    if(NOT file MATCHES "_test\\.cpp$")
      foreach(line ${includes})
        string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
        if(header IN_LIST forbidden_${layer})
          file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
          string(APPEND faults "  ${name}: ${line} (${layer} may not include it)\n")
        endif()
      endforeach()
    endif()
    foreach(line ${includes})
      string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" folder "${line}")
      if(NOT folder IN_LIST allowed)
        file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
        string(APPEND faults "  ${name}: ${line} (${layer} may include ${allowed})\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "includes that point up the layers:\n${faults}")
endif()
message(STATUS "every include points down the layers")
