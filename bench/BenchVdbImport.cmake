# OpenVDB import through the library and the vdbbridge module, against OpenVDB's own read
# and copyToDense. Built only with the module.
if(TARGET vdbbridge)
    add_executable(bench_vdb_import BenchVdbImport.cpp BenchGrids.cpp)
    target_link_libraries(bench_vdb_import PRIVATE kor_loader kor_openvdb
        benchmark::benchmark kor_warnings)
    # OpenVDB's templates must not be instantiated hidden in an executable.
    set_target_properties(bench_vdb_import PROPERTIES
        CXX_VISIBILITY_PRESET default VISIBILITY_INLINES_HIDDEN OFF)
    kor_load_modules_from(bench_vdb_import $<TARGET_FILE_DIR:vdbbridge>)
    add_dependencies(bench_vdb_import vdbbridge)
endif()

# The six-channel frame read whole: kor on fresh frames against OpenVDB with Blosc.
if(TARGET kor_openvdb)
    add_executable(bench_vdb_frame BenchVdbFrame.cpp BenchSixChannels.cpp BenchGrids.cpp)
    target_link_libraries(bench_vdb_frame PRIVATE korloader::korloader kor_openvdb
        benchmark::benchmark kor_warnings)
    set_target_properties(bench_vdb_frame PROPERTIES
        CXX_VISIBILITY_PRESET default VISIBILITY_INLINES_HIDDEN OFF)
endif()

# kortool convert of a Blender frame against OpenVDB's own read of it.
if(TARGET vdbbridge AND TARGET kortool)
    add_executable(bench_convert BenchConvert.cpp)
    target_link_libraries(bench_convert PRIVATE kor_openvdb benchmark::benchmark kor_warnings)
    target_compile_definitions(bench_convert PRIVATE
        KOR_SAMPLES_DIR="${PROJECT_SOURCE_DIR}/tests/data/samples"
        KORTOOL="$<TARGET_FILE:kortool>")
    set_target_properties(bench_convert PROPERTIES
        CXX_VISIBILITY_PRESET default VISIBILITY_INLINES_HIDDEN OFF)
    add_dependencies(bench_convert kortool vdbbridge)
endif()
