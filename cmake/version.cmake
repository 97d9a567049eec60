# Stamps the project version into the program file as an ELF note, which the
# About box reads back (core/version/).
foreach(part MAJOR MINOR PATCH TWEAK)
  set(QTU_VERSION_${part} "${PROJECT_VERSION_${part}}")
  if(QTU_VERSION_${part} STREQUAL "")
    set(QTU_VERSION_${part} 0)
  endif()
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/version_note.cpp.in ${CMAKE_CURRENT_BINARY_DIR}/version_note.cpp @ONLY)
target_sources(quarnel-test-utility PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/version_note.cpp)

# The window tests read the record back from a copy of the built program, and
# count what the lookup reads through their own pread.
if(TARGET test_window)
  target_link_options(test_window PRIVATE -Wl,--wrap=pread)
  add_dependencies(test_window quarnel-test-utility)
  target_compile_definitions(test_window PRIVATE QTU_PROGRAM_PATH="$<TARGET_FILE:quarnel-test-utility>"
    QTU_PROGRAM_VERSION="${QTU_VERSION_MAJOR}.${QTU_VERSION_MINOR}.${QTU_VERSION_PATCH}.${QTU_VERSION_TWEAK}")
endif()
