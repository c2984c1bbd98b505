# Fails when a C++ source of the project is not laid out as .clang-format says.
#   cmake -DSOURCE_DIR=<repo> -DCLANG_FORMAT=<program> -P CheckFormat.cmake
set(files)
foreach(dir src tools tests bench scripts)
    file(GLOB_RECURSE found ${SOURCE_DIR}/${dir}/*.cpp ${SOURCE_DIR}/${dir}/*.h)
    list(APPEND files ${found})
endforeach()
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${files}
                WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "Not formatted: run `clang-format -i` on the files above")
endif()
