# Turns the device-identifier table (code<TAB>name lines) into C++ initializers that
# device_catalog.cpp includes, so the program carries the table and never reads it.
#   cmake -DINPUT=device-identifiers.tsv -DOUTPUT=device_identifiers.inc -P device_catalog_table.cmake
cmake_minimum_required(VERSION 3.25)

file(READ "${INPUT}" _text)
# These would need escaping in C++ or break CMake's lists; no model name needs them.
if(_text MATCHES "[\"\\\\;\r]" OR _text MATCHES "\\[" OR _text MATCHES "\\]")
  message(FATAL_ERROR "${INPUT}: unsupported character (one of \" \\ ; [ ] or a carriage return)")
endif()

string(REGEX MATCHALL "[^\n]*\n|[^\n]+$" _lines "${_text}")
get_filename_component(_name "${INPUT}" NAME)
set(_out "// Generated from ${_name} by device_catalog_table.cmake; edit the data file instead.\n")
set(_number 0)
foreach(_line IN LISTS _lines)
  math(EXPR _number "${_number} + 1")
  string(REGEX REPLACE "\n$" "" _line "${_line}")
  if(NOT _line MATCHES "^([^\t]+)\t([^\t]+)$")
    message(FATAL_ERROR "${INPUT}:${_number}: expected \"code<TAB>name\", got \"${_line}\"")
  endif()
  string(APPEND _out "{\"${CMAKE_MATCH_1}\", \"${CMAKE_MATCH_2}\"},\n")
endforeach()

file(WRITE "${OUTPUT}" "${_out}")
