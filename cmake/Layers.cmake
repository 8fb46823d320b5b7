# The layer order of the framework modules, lowest first: a module may link
# modules of its own layer or of layers below it, never one above. Each entry
# is one layer, its modules separated by commas. A new module gets a place here.
set(CORVEX_LAYERS
  "runtime"
  "random,stream,event"
  # The platform layer and its SDL backend, under everything that uses the host.
  "platform"
  # pixmap registers the BMP decoder itself, so the two share a layer.
  "filesystem,process,script,pixmap,pixmap_bmp,system"
  "pixmap_png,pixmap_jpeg,pixmap_tga,eventqueue,input,timer,net,audio"
  "graphics"
  "vex2d,glgraphics"
  "glvex2d,fonts,headless"
  "platformchoice"
  "app")

# corvex_check_layers(<layers> <targets>): fails the configure when one of the
# targets (corvex_<name> static libraries) links a module of a higher layer,
# or when a target's module has no layer. <layers> is a list like
# CORVEX_LAYERS.
function(corvex_check_layers layers targets)
  set(index 0)
  foreach(layer IN LISTS layers)
    string(REPLACE "," ";" names "${layer}")
    foreach(name IN LISTS names)
      set(layer_of_${name} ${index})
    endforeach()
    math(EXPR index "${index} + 1")
  endforeach()
  foreach(target IN LISTS targets)
    string(REGEX REPLACE "^corvex_" "" module "${target}")
    if(NOT DEFINED layer_of_${module})
      message(FATAL_ERROR "Module ${module} has no layer: add it to CORVEX_LAYERS in cmake/Layers.cmake")
    endif()
    get_target_property(private ${target} LINK_LIBRARIES)
    get_target_property(public ${target} INTERFACE_LINK_LIBRARIES)
    foreach(link IN LISTS private public)
      if(NOT link MATCHES "^(corvex_|Corvex::)(.+)$")
        continue()
      endif()
      set(used "${CMAKE_MATCH_2}")
      if(DEFINED layer_of_${used} AND layer_of_${used} GREATER layer_of_${module})
        message(FATAL_ERROR "Module ${module} links ${used}, a module above it (layer ${layer_of_${used}} over "
                            "${layer_of_${module}}): the dependency must point down")
      endif()
    endforeach()
  endforeach()
endfunction()
