# Regenerates vorn-table's character tables into the build tree and fails
# when they differ from the checked-in ones.
# Usage: cmake -DPYTHON=... -DSOURCE_DIR=... -DOUTPUT=... -P check_character_tables.cmake
execute_process(
  COMMAND "${PYTHON}" "${SOURCE_DIR}/tools/make_character_tables.py" "${OUTPUT}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "tools/make_character_tables.py failed: ${result}")
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -E compare_files "${OUTPUT}"
          "${SOURCE_DIR}/tools/vorn_table/character_tables.cc"
  RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "tools/vorn_table/character_tables.cc is not what "
                      "tools/make_character_tables.py makes: run it and commit the result")
endif()
