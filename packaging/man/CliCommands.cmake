# Fills the COMMANDS section of the quillon-cli manual from the built program itself
# (`--commands` and `COMMAND --help`), so the page lists every command the program has.
# Included by BuildManual.cmake with CLI (the program) and IN (the template); sets `filled`.
execute_process(COMMAND ${CLI} --commands OUTPUT_VARIABLE names RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR names STREQUAL "")
    message(FATAL_ERROR "${CLI} --commands failed")
endif()
string(REGEX REPLACE "\n$" "" names "${names}")
string(REPLACE "\n" ";" names "${names}")

set(section "")
foreach(name IN LISTS names)
    execute_process(COMMAND ${CLI} ${name} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${CLI} ${name} --help failed")
    endif()
    # scdoc reads * and _ as emphasis and a leading "- " as a list item.
    string(REPLACE "\\" "\\\\" help "${help}")
    string(REPLACE "*" "\\*" help "${help}")
    string(REPLACE "_" "\\_" help "${help}")
    string(REGEX REPLACE "\n$" "" help "${help}")
    # Semicolons would split the CMake list; they come back after the split.
    string(REPLACE ";" "<semicolon>" help "${help}")
    string(REPLACE "\n" ";" lines "${help}")
    list(POP_FRONT lines usage)
    string(REPLACE "<semicolon>" ";" usage "${usage}")
    string(REGEX REPLACE "^usage: quillon-cli \\[options\\] " "" usage "${usage}")
    string(APPEND section "*${usage}*\n")
    foreach(line IN LISTS lines)
        string(REPLACE "<semicolon>" ";" line "${line}")
        string(APPEND section "\t${line}\n")
    endforeach()
    string(APPEND section "\n")
endforeach()

file(READ ${IN} template)
string(REPLACE "@COMMANDS@" "${section}" filled "${template}")
