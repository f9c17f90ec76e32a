# Registers DLL with regsvr32, runs SCRIPT with axrun on the ProgID Velmar.Velmar.1, and
# unregisters the DLL again, whatever the script did:
#   cmake -DRUNNER=<wine-run> -DPREFIX=<prefix> -DAXRUN=<axrun.exe> -DDLL=<Velmar.dll>
#         -DSCRIPT=<file.js> -P run_registered.cmake
execute_process(COMMAND ${RUNNER} ${PREFIX} regsvr32 /s ${DLL} RESULT_VARIABLE registered)
if(NOT registered EQUAL 0)
  message(FATAL_ERROR "regsvr32 ${DLL} ended with ${registered}")
endif()
execute_process(COMMAND ${RUNNER} ${PREFIX} ${AXRUN} --script ${SCRIPT} Velmar.Velmar.1
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
execute_process(COMMAND ${RUNNER} ${PREFIX} regsvr32 /s /u ${DLL} RESULT_VARIABLE unregistered)
if(NOT code EQUAL 0 OR NOT unregistered EQUAL 0)
  message(FATAL_ERROR "axrun ended with ${code}, regsvr32 /u with ${unregistered}\n"
                      "--- stdout:\\n${out}--- stderr:\\n${err}")
endif()
