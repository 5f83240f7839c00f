# The companion library orvdc_formats: zlib, gzip, raw deflate and bzip2
# streams built on the public orvdc interface only (it includes nothing from
# src/ but its own folder).  A separate library, so the orvdc export table is
# unchanged: shared and static on Linux, static on Windows (linking the DLL).
file(GLOB ORVDC_FORMATS_SOURCES CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/src/formats/*.cpp")

function(orvdc_formats_settings target)
  target_include_directories(${target}
    PUBLIC "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>" "$<INSTALL_INTERFACE:include>"
    PRIVATE "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src>")
  set_target_properties(${target} PROPERTIES
    C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
    POSITION_INDEPENDENT_CODE ON
    LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/lib"
    ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/lib")
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wshadow -fno-exceptions -fno-rtti $<$<BOOL:${ORVDC_WERROR}>:-Werror>)
endfunction()

if(WIN32)
  add_library(orvdc_formats STATIC ${ORVDC_FORMATS_SOURCES})
  target_link_libraries(orvdc_formats PUBLIC orvdc)
  orvdc_formats_settings(orvdc_formats)
  set(ORVDC_FORMATS_TARGETS orvdc_formats)
else()
  add_library(orvdc_formats SHARED ${ORVDC_FORMATS_SOURCES})
  target_link_libraries(orvdc_formats PUBLIC orvdc)
  orvdc_formats_settings(orvdc_formats)
  set_target_properties(orvdc_formats PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  if(NOT ORVDC_SANITIZE AND NOT ORVDC_BUILD_FUZZ AND NOT ORVDC_TSAN)
    target_link_options(orvdc_formats PRIVATE -Wl,--no-undefined)
  endif()

  add_library(orvdc_formats_static STATIC ${ORVDC_FORMATS_SOURCES})
  target_link_libraries(orvdc_formats_static PUBLIC orvdc_static)
  orvdc_formats_settings(orvdc_formats_static)
  set_target_properties(orvdc_formats_static PROPERTIES OUTPUT_NAME orvdc_formats)
  set(ORVDC_FORMATS_TARGETS orvdc_formats orvdc_formats_static)
endif()
