# Runs the tool over every file in DIR, in name order, from inside DIR.
file(GLOB inputs RELATIVE ${DIR} ${DIR}/*.*)
list(FILTER inputs EXCLUDE REGEX "\\.FILES$")
list(SORT inputs)
execute_process(COMMAND ${TOOL} ${inputs} WORKING_DIRECTORY ${DIR} INPUT_FILE /dev/null RESULT_VARIABLE rc)
# 3: a file failed, as DAMAGED.RLE does on purpose.
if(NOT rc EQUAL 0 AND NOT rc EQUAL 3)
  message(FATAL_ERROR "assetdump exited with ${rc}")
endif()
message("DAMAGED.RLE is damaged on purpose: its FAILED! line and its reason show how a damaged file is refused.\n"
        "The outputs are in ${DIR}; assetdump and assetpack are in the folder above it.")
