include_guard(GLOBAL)

# One interface target carries the language level, warnings and checks for every target.
add_library(kestrova_flags INTERFACE)
target_compile_features(kestrova_flags INTERFACE cxx_std_20)
target_compile_options(kestrova_flags INTERFACE -Wall -Wextra)
target_compile_definitions(kestrova_flags INTERFACE _GLIBCXX_ASSERTIONS)
if(KESTROVA_SANITIZE)
    target_compile_options(kestrova_flags INTERFACE -fsanitize=address,undefined
                           -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(kestrova_flags INTERFACE -fsanitize=address,undefined)
endif()

# Adds every child folder that has a CMakeLists.txt, in name order. In an engine-only
# build only the folders listed in KESTROVA_ENGINE_DIRS are added.
function(kestrova_add_subdirs)
    file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
         ${CMAKE_CURRENT_SOURCE_DIR}/*)
    list(SORT children)
    foreach(child IN LISTS children)
        set(dir ${CMAKE_CURRENT_SOURCE_DIR}/${child})
        if(NOT IS_DIRECTORY ${dir} OR NOT EXISTS ${dir}/CMakeLists.txt)
            continue()
        endif()
        file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${dir})
        if(KESTROVA_ENGINE_ONLY AND NOT rel IN_LIST KESTROVA_ENGINE_DIRS)
            continue()
        endif()
        add_subdirectory(${child})
    endforeach()
endfunction()

# kestrova_add_gtest(NAME [NO_MAIN] SOURCES ... LIBS ... LABELS ... [ENVIRONMENT ...] [TIMEOUT s]
#                   [RESOURCE_LOCK name])
# Builds a GoogleTest program outside the program folder and registers its tests with CTest,
# one CTest test per test case. Tests under the "gui" label get the offscreen platform; a GUI
# test brings its own main (NO_MAIN) that sets QT_QPA_PLATFORM=offscreen when unset, since
# test discovery runs the program without the CTest environment.
include(GoogleTest)
function(kestrova_add_gtest name)
    cmake_parse_arguments(T "NO_MAIN" "TIMEOUT;RESOURCE_LOCK" "SOURCES;LIBS;LABELS;ENVIRONMENT"
                          ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE kestrova_flags ${T_LIBS} GTest::gtest GTest::gmock)
    if(NOT T_NO_MAIN)
        target_link_libraries(${name} PRIVATE GTest::gtest_main)
    endif()
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                             ${PROJECT_BINARY_DIR}/tests)
    target_compile_definitions(${name} PRIVATE
        KESTROVA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        KESTROVA_PROGRAM_DIR="${KESTROVA_PROGRAM_DIR}")
    set(env ${T_ENVIRONMENT})
    if("gui" IN_LIST T_LABELS)
        list(APPEND env QT_QPA_PLATFORM=offscreen)
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT ${T_TIMEOUT})
    # Labels and environment are lists, which the discovery flattens into its property list
    # (two labels would become a label and a bogus property). They are set by a script that
    # CTest includes after the discovered tests instead.
    set(props ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
    file(WRITE ${props} "if(DEFINED ${name}_TESTS)\n"
        "  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS [==[${T_LABELS}]==])\n")
    if(env)
        file(APPEND ${props}
            "  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT [==[${env}]==])\n")
    endif()
    if(T_RESOURCE_LOCK)
        file(APPEND ${props} "  set_tests_properties(\${${name}_TESTS} PROPERTIES RESOURCE_LOCK "
                             "[==[${T_RESOURCE_LOCK}]==])\n")
    endif()
    file(APPEND ${props} "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${props})
endfunction()
