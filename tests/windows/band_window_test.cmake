# The band window on its own, with the band's resources compiled into the test program so that
# the toolbar's bitmap and the dialogs load from it as from the DLL.
set(band_window_bases ${CMAKE_CURRENT_BINARY_DIR}/not_implemented_band_window.h)
not_implemented_bases(${band_window_bases}
  "NotImplWebBrowser2:IWebBrowser,IWebBrowserApp,IWebBrowser2 NotImplHtmlDocument2:IHTMLDocument,IHTMLDocument2")
set(band_rc ${PROJECT_SOURCE_DIR}/resources/tavrin.rc)
windows_test(band_window_test
  SOURCES band_window_test.cpp dialogs/dialog_driver.cpp ${band_rc} ${band_window_bases}
  LIBS tavrin_band tavrin_mshtml windowscodecs)
target_include_directories(band_window_test PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR} ${PROJECT_SOURCE_DIR}/resources ${PROJECT_BINARY_DIR}/resources)
add_dependencies(band_window_test tavrin_typelib)
