# Shared build helpers.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)
find_package(SDL2 REQUIRED)
find_package(OpenGL REQUIRED)
pkg_check_modules(ODE REQUIRED IMPORTED_TARGET ode)
pkg_check_modules(OPENAL REQUIRED IMPORTED_TARGET openal)
pkg_check_modules(DEFLATE REQUIRED IMPORTED_TARGET libdeflate)
include(${CMAKE_CURRENT_LIST_DIR}/Duktape.cmake)

# Third-party libraries every subsystem may use.
add_library(rutline_deps INTERFACE)
target_include_directories(rutline_deps INTERFACE ${PROJECT_SOURCE_DIR})
target_link_libraries(rutline_deps INTERFACE
  PkgConfig::ODE rut_duktape PkgConfig::OPENAL PkgConfig::DEFLATE
  SDL2::SDL2 OpenGL::GL PNG::PNG ZLIB::ZLIB Threads::Threads m)

# rut_library(<folder>): one static library from every .cpp in the folder.
function(rut_library folder)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(_srcs)
    add_library(rut_${folder} STATIC ${_srcs})
    target_link_libraries(rut_${folder} PUBLIC rutline_deps)
  else()
    add_library(rut_${folder} INTERFACE)
    target_link_libraries(rut_${folder} INTERFACE rutline_deps)
  endif()
endfunction()
