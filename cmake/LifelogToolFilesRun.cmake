# cmake -DTOOL=<built lifelog> -DDIR=<folder> -P LifelogToolFilesRun.cmake:
# writes DIR/lifelog.1, DIR/lifelog.bash, DIR/_lifelog and DIR/lifelog.fish
# from what the tool prints.  The platform root points into DIR, so that
# nothing the tool might look at is the user's.
file(MAKE_DIRECTORY ${DIR})
set(ENV{ZBASE_ROOT} ${DIR}/root)
foreach(pair "manpage;lifelog.1" "completion;bash;lifelog.bash" "completion;zsh;_lifelog"
             "completion;fish;lifelog.fish")
  list(POP_BACK pair file)
  execute_process(COMMAND ${TOOL} ${pair} OUTPUT_FILE ${DIR}/${file}.new RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${TOOL} ${pair} failed: ${status}")
  endif()
  file(RENAME ${DIR}/${file}.new ${DIR}/${file})
endforeach()
