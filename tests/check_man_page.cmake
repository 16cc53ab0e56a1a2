# Renders one manual page as `man` would on a UTF-8 terminal and fails on
# any warning or error groff reports.
#   cmake -DGROFF=... -DPAGE=... -P check_man_page.cmake
execute_process(
  COMMAND "${GROFF}" -ww -man -Tutf8 -z "${PAGE}"
  RESULT_VARIABLE status
  ERROR_VARIABLE complaints)
if(NOT status EQUAL 0 OR NOT complaints STREQUAL "")
  message(FATAL_ERROR "${PAGE} does not render cleanly:\n${complaints}")
endif()
