# confserver --check-config on a sound file and on a bad one: the bad one ends the run with one
# line and exit status 2, before the store it names is made.
file(REMOVE_RECURSE ${FOLDER})
file(MAKE_DIRECTORY ${FOLDER})
set(sound "xmpp = \"127.0.0.1:5347\"\ndomain = \"c.example.net\"\nsecret_file = \"${FOLDER}/secret\"\nstore = \"${FOLDER}/rooms.db\"\n")
file(WRITE ${FOLDER}/sound.toml "${sound}")
file(WRITE ${FOLDER}/bad.toml "${sound}sync = \"fast\"\n")

execute_process(COMMAND ${CONFSERVER} --check-config --config ${FOLDER}/sound.toml
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT output STREQUAL "confserver: ${FOLDER}/sound.toml is sound\n")
  message(FATAL_ERROR "a sound file: status ${status}, printed: ${output}${errors}")
endif()

foreach(check --check-config "")
  execute_process(COMMAND ${CONFSERVER} ${check} --config ${FOLDER}/bad.toml
    OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 2
     OR NOT errors STREQUAL "confserver: ${FOLDER}/bad.toml:5: sync \"fast\": must be normal or full\n")
    message(FATAL_ERROR "a bad file (${check}): status ${status}, printed: ${output}${errors}")
  endif()
  if(EXISTS ${FOLDER}/rooms.db)
    message(FATAL_ERROR "confserver made its store before refusing its configuration")
  endif()
endforeach()
