# Every test goes through kovra_add_test.
# Pictures the tests make are cached under the build folder, never in the home folder.
#   kovra_add_test(NAME SOURCES a.cpp ... LIBS lib ... [E2E] [TIMEOUT s])
# Ordinary tests run on Qt's offscreen platform; E2E tests run the real program under Xvfb on xcb, with
# openbox as the window manager (tests/e2e/with_openbox.sh).
function(kovra_add_test name)
    cmake_parse_arguments(T "E2E" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
    kovra_strict(${name})
    target_compile_definitions(${name} PRIVATE KOVRA_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    if(T_E2E)
        add_test(NAME ${name} COMMAND xvfb-run -a -s "-screen 0 1280x1024x24"
            ${CMAKE_SOURCE_DIR}/tests/e2e/with_openbox.sh $<TARGET_FILE:${name}>)
        set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=xcb;KOVRA_BIN_DIR=${CMAKE_BINARY_DIR}/bin;XDG_CACHE_HOME=${CMAKE_BINARY_DIR}/test-cache"
            TIMEOUT ${T_TIMEOUT} LABELS e2e)
    else()
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KOVRA_BIN_DIR=${CMAKE_BINARY_DIR}/bin;XDG_CACHE_HOME=${CMAKE_BINARY_DIR}/test-cache"
            TIMEOUT ${T_TIMEOUT})
    endif()
endfunction()
