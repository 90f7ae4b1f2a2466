# The transfer tool: the protocol component from the command line, built with the tests and
# installed nowhere.
add_executable(sioxfer ${CMAKE_CURRENT_LIST_DIR}/sioxfer.cpp)
target_link_libraries(sioxfer PRIVATE kvx_serial kvx_warnings)

# Against lrzsz's sx and rx through the line simulator; skipped when lrzsz is not installed.
add_test(NAME sioxfer_acceptance
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/sioxfer_test.sh $<TARGET_FILE:sioxfer> $<TARGET_FILE:linesim>)
set_tests_properties(sioxfer_acceptance PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900)
