# Programs built with mingw-w64 need its C++ runtime DLLs beside them when they run under Wine
# or on a Windows machine without the toolchain.
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${dll_path}")
    # The posix-thread runtime lives with the target's libraries rather than the compiler's.
    set(dll_path ${CMAKE_FIND_ROOT_PATH}/lib/${dll})
  endif()
  if(EXISTS "${dll_path}")
    file(COPY ${dll_path} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  else()
    message(WARNING "mingw-w64 runtime ${dll} not found")
  endif()
endforeach()
