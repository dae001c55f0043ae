# The Windows deliverables and their tests (cross builds with mingw-w64).
enable_language(RC)

if(NOT TAVRIN_DIST_ARCH)
  message(FATAL_ERROR "Configure the Windows builds with the win64 or win32 preset")
endif()
set(TAVRIN_DIST_DIR ${PROJECT_SOURCE_DIR}/dist/${TAVRIN_DIST_ARCH})

# The DLL and the tool need nothing beside themselves.
add_link_options(-static -static-libgcc -static-libstdc++)

add_subdirectory(framework)
add_subdirectory(shared)
add_subdirectory(resources)
add_subdirectory(registration)
add_subdirectory(band)
add_subdirectory(settingstool)

add_subdirectory(tests/windows)
