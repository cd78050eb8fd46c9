# The old libstdc++ string ABI: the system's jsoncpp and GoogleTest use the
# new one in their interfaces, so they are built here from their Debian
# sources in the old one.
if(NOT EXISTS "${QLT_JSONCPP_SOURCE}/src/lib_json/json_value.cpp")
  message(FATAL_ERROR
    "QLT_OLD_ABI needs QLT_JSONCPP_SOURCE, jsoncpp's source tree (tools/test-old-abi.sh fetches it)")
endif()
add_library(jsoncpp_old_abi STATIC
  ${QLT_JSONCPP_SOURCE}/src/lib_json/json_reader.cpp
  ${QLT_JSONCPP_SOURCE}/src/lib_json/json_value.cpp
  ${QLT_JSONCPP_SOURCE}/src/lib_json/json_writer.cpp)
target_include_directories(jsoncpp_old_abi SYSTEM PUBLIC ${QLT_JSONCPP_SOURCE}/include)
target_compile_options(jsoncpp_old_abi PRIVATE -w)
add_library(PkgConfig::JSONCPP ALIAS jsoncpp_old_abi)

set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
