# Writes a man page from a program's --help output and the --help of each of its
# subcommands, so that the page always says what the program itself says.
#   cmake -DPROGRAM=path/to/tarnel -DNAME=tarnel -DVERSION=6.19 -DOUTPUT=tarnel.1
#         [-DEXTRA=sections.roff] -P generate_man_page.cmake

foreach(var PROGRAM NAME VERSION OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "generate_man_page: ${var} is not set")
  endif()
endforeach()

function(run_help out_var)
  execute_process(COMMAND ${PROGRAM} ${ARGN} --help
                  OUTPUT_VARIABLE text ERROR_VARIABLE error RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGN} --help failed (${status}): ${error}")
  endif()
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

# Help text as a no-fill roff block: backslashes escaped, and lines that start with a dot or
# an apostrophe protected from being read as requests.
function(roff_block out_var text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  string(STRIP "${text}" text)
  set(${out_var} ".nf\n${text}\n.fi\n" PARENT_SCOPE)
endfunction()

run_help(main_help)

# The one-line summary: the first non-empty line that is not the usage line.
set(summary "${NAME}")
string(REPLACE "\n" ";" lines "${main_help}")
foreach(line IN LISTS lines)
  string(STRIP "${line}" stripped)
  if(stripped AND NOT stripped MATCHES "^Usage:")
    set(summary "${stripped}")
    break()
  endif()
endforeach()
string(REPLACE "\\" "\\e" summary "${summary}")
string(REPLACE "-" "\\-" summary "${summary}")

string(TOUPPER "${NAME}" title)
roff_block(body "${main_help}")
set(page ".TH ${title} 1 \"\" \"${NAME} ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\n${NAME} \\- ${summary}\n.SH DESCRIPTION\n${body}")

# Subcommands: the lines of the "Subcommands:" section, "  name  description".
string(FIND "${main_help}" "Subcommands:" at)
if(at GREATER -1)
  string(SUBSTRING "${main_help}" ${at} -1 section)
  string(REPLACE "\n" ";" section_lines "${section}")
  list(REMOVE_AT section_lines 0)
  string(APPEND page ".SH COMMANDS\n")
  foreach(line IN LISTS section_lines)
    if(NOT line MATCHES "^  +([A-Za-z0-9][A-Za-z0-9_-]*)")
      break()
    endif()
    set(sub "${CMAKE_MATCH_1}")
    run_help(sub_help ${sub})
    roff_block(sub_body "${sub_help}")
    string(APPEND page ".SS ${NAME} ${sub}\n${sub_body}")
  endforeach()
endif()

if(DEFINED EXTRA AND EXISTS "${EXTRA}")
  file(READ "${EXTRA}" extra)
  string(APPEND page "${extra}")
endif()

file(WRITE "${OUTPUT}.tmp" "${page}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
