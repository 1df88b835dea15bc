# Flags and helpers shared by every folder.

set(ZEM_WARNINGS -Wall -Wextra)

if(ZEM_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(ZEM_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(ZEM_FUZZ)
  # Everything a fuzz target links is instrumented for coverage and checked by ASan.
  add_compile_options(-fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address)
endif()

# zem_library(NAME SOURCES... [DEPS targets...] [QT]) : a static, position-independent framework library
# whose headers are included from the project root ("core/text/map_str.h").
function(zem_library name)
  cmake_parse_arguments(Z "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${Z_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${ZEM_WARNINGS})
  if(Z_DEPS)
    target_link_libraries(${name} PUBLIC ${Z_DEPS})
  endif()
endfunction()

# zem_test(NAME SOURCES... [DEPS targets...] [LABELS labels...]) : one GoogleTest binary per subsystem,
# registered with CTest test by test.
function(zem_test name)
  cmake_parse_arguments(Z "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${Z_SOURCES})
  target_compile_options(${name} PRIVATE ${ZEM_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${Z_DEPS} GTest::gtest GTest::gtest_main Threads::Threads)
  include(GoogleTest)
  # Widget tests paint offscreen. The registry library's folder (TARVOK_DLL_PATH) is left to the tests
  # that want it, so every other test runs its module on the local table as a host without it would.
  set(props ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  if(Z_LABELS)
    list(APPEND props LABELS "${Z_LABELS}")
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    PROPERTIES ${props}
    DISCOVERY_TIMEOUT 60)
endfunction()

# zem_bench(NAME SOURCES... [DEPS targets...]) : a Google Benchmark program under bench/.
function(zem_bench name)
  cmake_parse_arguments(Z "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${Z_SOURCES})
  target_compile_options(${name} PRIVATE ${ZEM_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${Z_DEPS} benchmark::benchmark Threads::Threads)
endfunction()

# zem_fuzz(NAME SOURCES... [DEPS targets...]) : a libFuzzer target under fuzz/.
function(zem_fuzz name)
  cmake_parse_arguments(Z "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${Z_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${Z_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# zem_folder_library(NAME [DEPS targets...] [QT]) : the static library of one source folder, made of the
# .cpp files in it (not in sub-folders). An empty folder gives an interface library, so a layer can be
# named by the layers above it before it has code.
function(zem_folder_library name)
  cmake_parse_arguments(Z "QT" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB hdrs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(srcs)
    add_library(${name} STATIC ${srcs} ${hdrs})
    target_include_directories(${name} PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
                               $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/zem_pack>)
    target_compile_options(${name} PRIVATE ${ZEM_WARNINGS})
    target_link_libraries(${name} PUBLIC ${Z_DEPS})
    if(Z_QT)
      set_target_properties(${name} PROPERTIES AUTOMOC ON)
    endif()
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
    target_link_libraries(${name} INTERFACE ${Z_DEPS})
  endif()
endfunction()
