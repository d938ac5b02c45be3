# Debian splits OpenCV into per-module -dev packages; only libopencv-dev ships
# the CMake config and that pulls in every module. We take the modules we use
# directly: OpenCV::core, OpenCV::imgproc and OpenCV::imgcodecs.
find_path(OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4)
foreach(module core imgproc imgcodecs)
  find_library(OPENCV_${module}_LIBRARY opencv_${module})
  if(OPENCV_INCLUDE_DIR AND OPENCV_${module}_LIBRARY AND NOT TARGET OpenCV::${module})
    add_library(OpenCV::${module} UNKNOWN IMPORTED)
    set_target_properties(OpenCV::${module} PROPERTIES
      IMPORTED_LOCATION ${OPENCV_${module}_LIBRARY}
      INTERFACE_INCLUDE_DIRECTORIES ${OPENCV_INCLUDE_DIR})
  endif()
endforeach()
