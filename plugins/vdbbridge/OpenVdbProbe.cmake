# SPDX-License-Identifier: Apache-2.0
# Looks for OpenVDB 10, the headers its own headers need (Boost, oneTBB, Imath) and Blosc,
# whose buffers the catalog validates, and
# sets KOR_OPENVDB_FOUND. OpenVDB's shipped find module stops the configure step when
# Boost is missing, so a machine without it could not even switch the plug-in off.
find_path(KOR_OPENVDB_INCLUDE_DIR openvdb/openvdb.h)
find_library(KOR_OPENVDB_LIBRARY openvdb)
find_path(KOR_BOOST_INCLUDE_DIR boost/numeric/conversion/conversion_traits.hpp)
find_path(KOR_IMATH_INCLUDE_DIR Imath/half.h)
find_library(KOR_IMATH_LIBRARY NAMES Imath Imath-3_1)
find_library(KOR_BLOSC_LIBRARY blosc)
find_path(KOR_BLOSC_INCLUDE_DIR blosc.h)
find_package(TBB CONFIG QUIET)

if(KOR_OPENVDB_INCLUDE_DIR AND KOR_OPENVDB_LIBRARY AND KOR_BOOST_INCLUDE_DIR
   AND KOR_IMATH_INCLUDE_DIR AND KOR_IMATH_LIBRARY AND KOR_BLOSC_LIBRARY
   AND KOR_BLOSC_INCLUDE_DIR AND TBB_FOUND)
    set(KOR_OPENVDB_FOUND ON)
else()
    set(KOR_OPENVDB_FOUND OFF)
    message(STATUS "OpenVDB, Boost, Imath or oneTBB headers not found: vdbbridge is off")
endif()
