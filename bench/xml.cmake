# XmlNode against pugixml.
find_package(pugixml REQUIRED)
orvane_benchmark(xml SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/xml_bench.cpp LIBS foundation pugixml::pugixml)
