# Qt Test programs of the window: built on the whole program and the test
# support, run offscreen with a home of their own, so that no test touches
# the user's settings.
find_package(Qt6 REQUIRED COMPONENTS Test)

function(jestpad_gui_test name source)
  add_executable(${name} ${source}
    ${PROJECT_SOURCE_DIR}/tests/support/FakeUiSeam.h
    ${PROJECT_SOURCE_DIR}/tests/support/JestpadHarness.h)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_link_libraries(${name} PRIVATE jestpad_app Qt6::Test)
  set_target_properties(${name} PROPERTIES AUTOMOC ON)

  set(home ${CMAKE_CURRENT_BINARY_DIR}/home)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HOME=${home};XDG_CONFIG_HOME=${home}/.config;XDG_RUNTIME_DIR=${home}/run"
    FIXTURES_REQUIRED ${name}_home)
  add_test(NAME ${name}_home COMMAND ${CMAKE_COMMAND} -E make_directory
    ${home}/.config ${home}/run)
  set_tests_properties(${name}_home PROPERTIES FIXTURES_SETUP ${name}_home)
endfunction()
