# tallymap.cmake -- one helper for every test binary, so each test file is one line.
find_package(GTest REQUIRED)
include(GoogleTest)

# tm_add_test(NAME SOURCES... LIBS lib... LABEL unit|gl|ui [ENV VAR=value...])
# Tests run from the source tree's root so that ./data and ./examples resolve.
function(tm_add_test name)
    cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS;ENV" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
    target_compile_definitions(${name} PRIVATE TALLYMAP_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                               TALLYMAP_BINARY_DIR="${PROJECT_BINARY_DIR}")
    # test discovery expands the properties three times over: a list such as two
    # variables of ENV survives only with each separator escaped eight times
    string(REPLACE ";" [[\\\\\\\\;]] environment "${T_ENV}")
    gtest_discover_tests(${name}
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        PROPERTIES LABELS "${T_LABEL}" ENVIRONMENT "${environment}"
        DISCOVERY_TIMEOUT 60)
endfunction()
