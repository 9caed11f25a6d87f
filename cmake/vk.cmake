# SPDX-License-Identifier: Apache-2.0
# Every layer is one library made of the sources in its folder; adding a file needs no
# CMake edit. Windows of a layer live in its ui/ subfolder and form a separate library,
# so the logic builds and is tested without Widgets.
function(vk_library name dir)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    file(GLOB _src CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h ${dir}/*.qrc)
    list(FILTER _src INCLUDE REGEX "\\.(cpp|qrc)$")
    file(GLOB _all CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h ${dir}/*.qrc)
    if(_src)
        add_library(${name} STATIC ${_all})
        # tools/mutants builds the files it plants faults in with coverage counters, to learn
        # which tests run each line and run only those for a fault on it.
        foreach(_s ${VK_COVERAGE_SOURCES})
            if("${PROJECT_SOURCE_DIR}/${_s}" IN_LIST _all)
                set_source_files_properties(${PROJECT_SOURCE_DIR}/${_s} PROPERTIES COMPILE_OPTIONS --coverage)
            endif()
        endforeach()
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} PUBLIC ${ARG_LIBS})
    else()
        # A layer whose sources have not landed yet still links for its dependants.
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE ${ARG_LIBS})
    endif()
endfunction()

# The throw-away PostgreSQL server the tests on a shared database run against: a CTest fixture
# whose setup starts it (tests/support/pgcluster.sh) and whose cleanup stops it. Its folder
# holds the server's Unix socket, whose path must stay short and which the postgres system user
# must reach: so it lives under /tmp, named after this build folder.
function(vk_postgres_fixture)
    string(MD5 _hash "${CMAKE_BINARY_DIR}")
    string(SUBSTRING "${_hash}" 0 10 _hash)
    set(VK_TEST_PG_DIR /tmp/vkpg-${_hash} PARENT_SCOPE)
    set(_script ${PROJECT_SOURCE_DIR}/tests/support/pgcluster.sh)
    add_test(NAME postgres_start COMMAND ${_script} start /tmp/vkpg-${_hash})
    add_test(NAME postgres_stop COMMAND ${_script} stop /tmp/vkpg-${_hash})
    set_tests_properties(postgres_start PROPERTIES FIXTURES_SETUP postgres TIMEOUT 120)
    set_tests_properties(postgres_stop PROPERTIES FIXTURES_CLEANUP postgres TIMEOUT 120)
endfunction()

# One test executable per tst_*.cpp file below tests/<dir>, registered in CTest and run
# offscreen with its own temporary home folder chosen by the test itself.
# BOTH_DATABASES: a test that opens the console's database (its source includes
# server/core/database.h or one of the test headers that open it) is registered a second time
# as <name>_pg, running on the PostgreSQL test server (see tests/support/testdatabase.h).
function(vk_tests dir)
    cmake_parse_arguments(ARG "BOTH_DATABASES" "" "LIBS" ${ARGN})
    file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/tst_*.cpp)
    set(_env "QT_QPA_PLATFORM=offscreen;VK_BIN_DIR=${CMAKE_BINARY_DIR}/bin;ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
    set(_opens "#include \"(server/core/database|support/(consolefixture|historyfixture|billedsession|testdatabase)|tests/server/link/linkconsole)\\.h\"")
    foreach(_t ${_tests})
        get_filename_component(_n ${_t} NAME_WE)
        add_executable(${_n} ${_t})
        target_link_libraries(${_n} PRIVATE vk_testsupport ${ARG_LIBS} Qt6::Test)
        set_target_properties(${_n} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
        add_test(NAME ${_n} COMMAND ${_n})
        set_tests_properties(${_n} PROPERTIES ENVIRONMENT "${_env}" TIMEOUT 300)
        if(ARG_BOTH_DATABASES)
            file(STRINGS ${_t} _opening REGEX "${_opens}")
            if(_opening)
                add_test(NAME ${_n}_pg COMMAND ${_n})
                set_tests_properties(${_n}_pg PROPERTIES
                    ENVIRONMENT "${_env};VK_TEST_DATABASE=postgres;VK_TEST_PG_DIR=${VK_TEST_PG_DIR}"
                    FIXTURES_REQUIRED postgres TIMEOUT 300)
            endif()
        endif()
    endforeach()
endfunction()
