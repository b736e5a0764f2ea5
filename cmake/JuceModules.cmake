# Turns a folder of JUCE module sources into one static library target.
#
#   add_juce_modules_library(<target> MODULES_DIR <dir> MODULES <m1> <m2> ...)
#
# Each module contributes the top-level .cpp/.c files of its folder (the ones
# JUCE's own build system would compile); Objective-C++ files are left out.
# <dir> is a JUCE 8 checkout's "modules" folder (or Debian's unpacked
# juce-modules-source-data tree). Consumers include <juce_core/juce_core.h> etc.
function(add_juce_modules_library target)
  cmake_parse_arguments(ARG "" "MODULES_DIR" "MODULES" ${ARGN})
  if(NOT EXISTS "${ARG_MODULES_DIR}/juce_core/juce_core.h")
    message(FATAL_ERROR "JUCE modules not found in '${ARG_MODULES_DIR}' (set JUCE_MODULES_DIR)")
  endif()

  set(sources "")
  set(definitions "")
  foreach(module IN LISTS ARG_MODULES)
    file(GLOB module_sources
      "${ARG_MODULES_DIR}/${module}/${module}*.cpp"
      "${ARG_MODULES_DIR}/${module}/${module}*.c")
    if(NOT module_sources)
      message(FATAL_ERROR "JUCE module '${module}' has no sources in ${ARG_MODULES_DIR}")
    endif()
    list(APPEND sources ${module_sources})
    list(APPEND definitions JUCE_MODULE_AVAILABLE_${module}=1)
  endforeach()

  add_library(${target} STATIC ${sources})
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_include_directories(${target} SYSTEM PUBLIC "${ARG_MODULES_DIR}")
  target_compile_definitions(${target} PUBLIC
    ${definitions}
    JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1
    JUCE_STANDALONE_APPLICATION=1
    JUCE_USE_CURL=0
    JUCE_WEB_BROWSER=0
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_REPORT_APP_USAGE=0
    JUCE_MODAL_LOOPS_PERMITTED=1
    JUCE_STRICT_REFCOUNTEDPOINTER=1)
  # The module code is not ours: no warnings from it.
  if(MSVC)
    target_compile_options(${target} PRIVATE /w /bigobj)
  else()
    target_compile_options(${target} PRIVATE -w)
    if(WIN32)
      target_compile_options(${target} PRIVATE -Wa,-mbig-obj)
    endif()
  endif()

  # Debian's "+ds" module sources leave out the bundled zlib, libpng and
  # libjpeg; a full JUCE checkout (the MSVC build) has them.
  if(EXISTS "${ARG_MODULES_DIR}/juce_core/zip/zlib")
    target_compile_definitions(${target} PUBLIC JUCE_INCLUDE_ZLIB_CODE=1)
  else()
    find_package(ZLIB REQUIRED)
    target_compile_definitions(${target} PUBLIC JUCE_INCLUDE_ZLIB_CODE=0)
    target_link_libraries(${target} PUBLIC ZLIB::ZLIB)
  endif()
  if("juce_graphics" IN_LIST ARG_MODULES)
    if(EXISTS "${ARG_MODULES_DIR}/juce_graphics/image_formats/pnglib")
      target_compile_definitions(${target} PUBLIC JUCE_INCLUDE_PNGLIB_CODE=1 JUCE_INCLUDE_JPEGLIB_CODE=1)
    else()
      target_compile_definitions(${target} PUBLIC JUCE_INCLUDE_PNGLIB_CODE=0 JUCE_INCLUDE_JPEGLIB_CODE=0)
      if(WIN32)
        find_package(PNG REQUIRED)
        find_package(JPEG REQUIRED)
        target_link_libraries(${target} PUBLIC PNG::PNG JPEG::JPEG)
      endif()
    endif()
  endif()

  if(UNIX AND NOT APPLE)
    find_package(Threads REQUIRED)
    find_package(PkgConfig REQUIRED)
    set(pkgs "")
    if("juce_graphics" IN_LIST ARG_MODULES)
      list(APPEND pkgs freetype2 fontconfig libpng libjpeg)
    endif()
    if("juce_gui_basics" IN_LIST ARG_MODULES)
      list(APPEND pkgs x11 xext xrandr xinerama xcursor)
    endif()
    if(pkgs)
      pkg_check_modules(JUCE_DEPS REQUIRED IMPORTED_TARGET ${pkgs})
      target_link_libraries(${target} PUBLIC PkgConfig::JUCE_DEPS)
    endif()
    target_link_libraries(${target} PUBLIC Threads::Threads ${CMAKE_DL_LIBS} rt)
  elseif(WIN32)
    target_link_libraries(${target} PUBLIC
      version winmm ws2_32 wininet shlwapi ole32 oleaut32 uuid imm32 comdlg32 rpcrt4 shell32 advapi32 user32 gdi32 dxgi)
    if(MINGW)
      target_compile_definitions(${target} PUBLIC _WIN32_WINNT=0x0602 WINVER=0x0602)
    endif()
  endif()
endfunction()
