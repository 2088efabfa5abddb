# Runs partgen on the data files with one row changed at a time; each change must be refused
# with its message. Usage: cmake -DPARTGEN=... -DDATA=... -DWORK=... -P partgen_refuses.cmake
file(MAKE_DIRECTORY ${WORK})
set(files parts.csv name_aliases.csv config_labels.csv bit_table_layouts.csv config_editors.csv)

# FILE: the data file to change; FROM/TO: the text replaced; MESSAGE: what partgen must say.
function(refused file from to message)
  file(READ ${DATA}/${file} text)
  string(FIND "${text}" "${from}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${file} holds no \"${from}\"")
  endif()
  string(REPLACE "${from}" "${to}" text "${text}")
  set(args)
  foreach(name ${files})
    if(name STREQUAL file)
      file(WRITE ${WORK}/${name} "${text}")
      list(APPEND args ${WORK}/${name})
    else()
      list(APPEND args ${DATA}/${name})
    endif()
  endforeach()
  execute_process(COMMAND ${PARTGEN} ${args} ${WORK}/out.cpp RESULT_VARIABLE status
                  ERROR_VARIABLE error)
  if(status EQUAL 0 OR NOT error MATCHES "${message}")
    message(FATAL_ERROR "${file}: \"${from}\" -> \"${to}\" gave ${status}: ${error}")
  endif()
endfunction()

refused(parts.csv ",4.3V|3.7V|2.7V|2.2V\n" ",\n" "a Lark part needs its brown-out levels")
refused(parts.csv "851,QW851,0,1,0,1" "851,QW851,0,1,1,1" "a part belongs to one family")
refused(config_editors.csv "Kite,6,Reset,Plain,4,0,Disable" "Kite,6,Reset,Plain,,0,Disable"
        "disagree on its title, role or enabling")
refused(config_editors.csv "21:2=1,22:1=0" "21:2=4," "a value within one byte")
refused(config_editors.csv "Sonra,4,DataFlash,DataFlash,,0,Enable"
        "Sonra,4,DataFlash,Plain,,0,Enable" "disagree")
