# FFmpeg for the screen boards: built once at configure time from Debian's
# source package into build/ffmpeg (build_ffmpeg.sh), and reused by every
# later configure.  Gives the imported targets ffmpeg::avformat,
# ffmpeg::avcodec, ffmpeg::swscale, ffmpeg::swresample and ffmpeg::avutil,
# and FFMPEG_DLLS, the DLLs that ship beside SWmpeg.dll.
set(FFMPEG_CACHE ${CMAKE_BINARY_DIR}/ffmpeg)
execute_process(
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/build_ffmpeg.sh ${FFMPEG_CACHE}
  RESULT_VARIABLE ffmpeg_result)
if(NOT ffmpeg_result EQUAL 0)
  message(FATAL_ERROR "FFmpeg for Windows could not be built (see ${FFMPEG_CACHE}/build.log)")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/build_ffmpeg.sh)

set(FFMPEG_DLLS)
foreach(library avutil swresample swscale avcodec avformat)
  file(GLOB dll ${FFMPEG_CACHE}/install/bin/${library}-*.dll)
  add_library(ffmpeg::${library} SHARED IMPORTED GLOBAL)
  set_target_properties(ffmpeg::${library} PROPERTIES
    IMPORTED_LOCATION ${dll}
    IMPORTED_IMPLIB ${FFMPEG_CACHE}/install/lib/lib${library}.dll.a
    INTERFACE_INCLUDE_DIRECTORIES ${FFMPEG_CACHE}/install/include)
  list(APPEND FFMPEG_DLLS ${dll})
endforeach()
