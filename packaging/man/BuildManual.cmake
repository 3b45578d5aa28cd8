# Builds one gzip-compressed manual page from its scdoc source.
# Arguments: -DSCDOC=scdoc -DIN=source -DOUT=page.1.gz [-DCLI=quillon-cli]
# With CLI, the source is a template whose @COMMANDS@ is filled from the program.
set(source ${IN})
if(CLI)
    include(${CMAKE_CURRENT_LIST_DIR}/CliCommands.cmake)
    set(source ${OUT}.scd)
    file(WRITE ${source} "${filled}")
endif()
string(REGEX REPLACE "\\.gz$" "" page ${OUT})
execute_process(COMMAND ${SCDOC} INPUT_FILE ${source} OUTPUT_FILE ${page} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "scdoc failed on ${IN}")
endif()
# -n: no name or time stamp inside, so the package is the same on every build.
execute_process(COMMAND gzip -9nf ${page} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${page}")
endif()
