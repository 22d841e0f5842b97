# corvane_layer(NAME DEPS...): one static library per folder of src/, made of every
# .cpp and .h in it. Headers are included as "layer/File.h" from src/.
function(corvane_layer name)
    file(GLOB sources CONFIGURE_DEPENDS
         ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    set(cpp_sources ${sources})
    list(FILTER cpp_sources INCLUDE REGEX "\\.cpp$")
    if(cpp_sources)
        add_library(corvane_${name} STATIC ${sources})
        target_include_directories(corvane_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
        target_link_libraries(corvane_${name} PUBLIC ${ARGN})
    else()
        # A layer that holds only headers so far.
        add_library(corvane_${name} INTERFACE)
        target_include_directories(corvane_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
        target_link_libraries(corvane_${name} INTERFACE ${ARGN})
    endif()
endfunction()

# corvane_tests(LIBS...): one test executable per test_*.cpp in the calling folder,
# each test case registered with CTest.
function(corvane_tests)
    file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_*.cpp)
    get_filename_component(layer ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    foreach(source ${test_sources})
        get_filename_component(stem ${source} NAME_WE)
        set(target ${layer}_${stem})
        # The ThreadSanitizer build exists for the tests of code on two threads only.
        if(CORVANE_TSAN AND NOT stem MATCHES "Thread|Queue|Concurren")
            continue()
        endif()
        add_executable(${target} ${source})
        target_link_libraries(${target} PRIVATE corvane_test_support ${ARGN}
                              GTest::gtest GTest::gtest_main)
        # Tests of code that runs on two threads are labelled "thread" instead of with
        # their layer; the test script also runs them under ThreadSanitizer. (One label
        # only: gtest_discover_tests cannot pass a list through.)
        set(labels ${layer})
        if(stem MATCHES "Thread|Queue|Concurren")
            set(labels thread)
        elseif(stem MATCHES "Large")
            # Minutes of work on files of several GiB; still part of every test run.
            set(labels slow)
        endif()
        gtest_discover_tests(${target}
            PROPERTIES LABELS "${labels}" TIMEOUT 300
            DISCOVERY_TIMEOUT 60)
    endforeach()
endfunction()

# corvane_qt_tests(LIBS...): one QtTest executable per tst_*.cpp in the calling folder,
# for widgets. They run on the offscreen platform, so no display is needed.
function(corvane_qt_tests)
    if(CORVANE_TSAN)
        return()
    endif()
    file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
    get_filename_component(layer ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    foreach(source ${test_sources})
        get_filename_component(stem ${source} NAME_WE)
        set(target ${layer}_${stem})
        add_executable(${target} ${source})
        target_link_libraries(${target} PRIVATE corvane_test_support ${ARGN} Qt6::Test)
        add_test(NAME ${target} COMMAND ${target})
        set_tests_properties(${target} PROPERTIES LABELS ${layer} TIMEOUT 300
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    endforeach()
endfunction()
