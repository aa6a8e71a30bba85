# cmake -DROOT=<source folder> -P CheckLayers.cmake
# Fails when a layer of the application includes a header of a layer above it (see app/CMakeLists.txt): the
# platform layers know nothing of the engine, the engine nothing of the shell, the shell nothing of the windows.
set(rules
  "app/platform|engine/|shell/|ui/"
  "app/engine|shell/|ui/"
  "app/shell|ui/")
set(failures "")
foreach(rule IN LISTS rules)
  string(REPLACE "|" ";" parts "${rule}")
  list(POP_FRONT parts folder)
  file(GLOB_RECURSE files "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.cpp")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" includes REGEX "^#include \"")
    foreach(line IN LISTS includes)
      foreach(forbidden IN LISTS parts)
        if(line MATCHES "^#include \"${forbidden}")
          file(RELATIVE_PATH name "${ROOT}" "${file}")
          string(APPEND failures "  ${name}: ${line}\n")
        endif()
      endforeach()
    endforeach()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "A layer includes a layer above it:\n${failures}")
endif()
