# Fails unless LIBRARY's dynamic symbol table defines exactly the twelve FT_ functions.
execute_process(COMMAND nm -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
set(expected FT_Close FT_CreateDeviceInfoList FT_GetDeviceInfoList FT_GetQueueStatus FT_OpenEx
    FT_Purge FT_Read FT_ResetDevice FT_SetBaudRate FT_SetDataCharacteristics FT_SetFlowControl
    FT_Write)
string(REGEX MATCHALL "[0-9a-f]+ T [A-Za-z_][A-Za-z0-9_]*" functions "${symbols}")
set(found "")
foreach(line IN LISTS functions)
  string(REGEX REPLACE "^[0-9a-f]+ T " "" name "${line}")
  list(APPEND found ${name})
endforeach()
list(SORT found)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "exported functions: ${found}\nexpected: ${expected}")
endif()
message(STATUS "exports: ${found}")
