# shell-windows-double.dll: the shell's window collection and the browser's automation object,
# which the settings tool's tests register in the throwaway prefix.
set(shell_windows_bases ${CMAKE_CURRENT_BINARY_DIR}/shell_windows_not_implemented.h)
not_implemented_bases(${shell_windows_bases} "NotImplShellWindows:IShellWindows")

add_library(shell-windows-double SHARED
  shell_windows_double_dll.cpp shell_windows_double.def ${shell_windows_bases})
target_include_directories(shell-windows-double PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(shell-windows-double PRIVATE tavrin_web_browser_double)
target_link_options(shell-windows-double PRIVATE -Wl,--enable-stdcall-fixup)
set_target_properties(shell-windows-double PROPERTIES
  PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
