# Writes the machine-readable copyright file of the Debian package from
# LICENSE: its copyright line and its licence text, each line of the text
# indented by one blank and its empty lines written as " .".
function(rk_write_copyright license out)
  file(READ ${license} text)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" line "${text}")
  set(holder "${CMAKE_MATCH_1}")
  string(FIND "${text}" "Redistribution" start)
  if(NOT holder OR start LESS 0)
    message(FATAL_ERROR "${license}: no copyright line or no licence text")
  endif()
  string(SUBSTRING "${text}" ${start} -1 body)
  string(STRIP "${body}" body)
  string(REPLACE "\n" "\n " body "${body}")
  string(REPLACE "\n \n" "\n .\n" body "${body}")
  file(WRITE ${out}
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: rk-tools\n"
    "\n"
    "Files: *\n"
    "Copyright: ${holder}\n"
    "License: BSD-2-clause\n"
    "\n"
    "License: BSD-2-clause\n"
    " ${body}\n")
endfunction()
