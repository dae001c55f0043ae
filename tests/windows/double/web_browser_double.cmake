# The WebBrowser double: a library for tests that create it directly, and webbrowser-double.dll,
# which tests register under CLSID_WebBrowser in the throwaway prefix.
set(web_browser_bases ${CMAKE_CURRENT_BINARY_DIR}/web_browser_not_implemented.h)
not_implemented_bases(${web_browser_bases} "NotImplWebBrowser2:IWebBrowser,IWebBrowserApp,IWebBrowser2")

add_library(tavrin_web_browser_double STATIC
  web_browser_double.cpp web_browser_double_pages.cpp ${web_browser_bases})
target_include_directories(tavrin_web_browser_double PUBLIC ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(tavrin_web_browser_double PUBLIC tavrin_mshtml_double)

add_library(webbrowser-double SHARED web_browser_double_dll.cpp web_browser_double.def)
target_link_libraries(webbrowser-double PRIVATE tavrin_web_browser_double)
target_link_options(webbrowser-double PRIVATE -Wl,--enable-stdcall-fixup)
set_target_properties(webbrowser-double PROPERTIES
  PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})

# The tests find the DLL beside themselves, and the pages in the source folder.
string(REPLACE "/" "\\\\" double_pages_dir "Z:${CMAKE_CURRENT_SOURCE_DIR}/web_browser_double_pages")
set_source_files_properties(web_browser_double_test.rc PROPERTIES OBJECT_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/web_browser_double_pages/resource_page.htm)
windows_test(web_browser_double_test
  SOURCES web_browser_double_test.cpp web_browser_double_container_test.cpp
          web_browser_double_test.rc ../dialogs/dialog_driver.cpp
  LIBS tavrin_web_browser_double tavrin_browserview windowscodecs)
add_dependencies(web_browser_double_test webbrowser-double)
target_compile_definitions(web_browser_double_test PRIVATE TAVRIN_DOUBLE_PAGES_DIR=L"${double_pages_dir}")
target_include_directories(web_browser_double_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
