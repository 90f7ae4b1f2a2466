# The panel simulator: the panel's side of the request and of the transfers, for end-to-end
# tests of the transfer window (lrzsz's rx and sx carry the XMODEM transfers).
add_executable(panelsim panelsim.cpp)
target_link_libraries(panelsim PRIVATE kvx_model kvx_warnings)

add_executable(panelsim_tests PanelSimTest.cpp)
target_include_directories(panelsim_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_compile_definitions(panelsim_tests PRIVATE KVX_PANELSIM_PATH="$<TARGET_FILE:panelsim>"
                                                  KVX_LINESIM_PATH="$<TARGET_FILE:linesim>")
target_link_libraries(panelsim_tests PRIVATE kvx_warnings GTest::gtest_main Threads::Threads)
add_dependencies(panelsim_tests panelsim linesim)
gtest_discover_tests(panelsim_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 600)
