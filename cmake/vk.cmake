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
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} PUBLIC ${ARG_LIBS})
    else()
        # A layer whose sources have not landed yet still links for its dependants.
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE ${ARG_LIBS})
    endif()
endfunction()

# One test executable per tst_*.cpp file below tests/<dir>, registered in CTest and run
# offscreen with its own temporary home folder chosen by the test itself.
function(vk_tests dir)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/tst_*.cpp)
    foreach(_t ${_tests})
        get_filename_component(_n ${_t} NAME_WE)
        add_executable(${_n} ${_t})
        target_link_libraries(${_n} PRIVATE vk_testsupport ${ARG_LIBS} Qt6::Test)
        set_target_properties(${_n} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
        add_test(NAME ${_n} COMMAND ${_n})
        set_tests_properties(${_n} PROPERTIES
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VK_BIN_DIR=${CMAKE_BINARY_DIR}/bin;ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
            TIMEOUT 300)
    endforeach()
endfunction()
