# Makes the editor definition the window tests open instead of the shipped
# one: the same document with a window resizer and its handle on the main
# window and a read-out of In Gain that edits on a click (keys).
#   cmake -DSOURCE=UserInterface.xml -DOUTPUT=TestEditor.xml -P test-definition.cmake
file(READ ${SOURCE} text)
set(timer [[<ui:update-timer name="render-timer" fps="30" order-asc="1000"/>]])
set(knob [[<ui:knob name="in-gain" width="74" height="74" image-set="is.knob" color="Knob" bridge="ui.ingain-bridge"/>]])
set(about_end [[run-event-params="^about-params"/>
          </button>]])
foreach(anchor timer knob about_end)
    string(FIND "${text}" "${${anchor}}" at)
    if(at LESS 0)
        message(FATAL_ERROR "test-definition.cmake: the editor definition has no ${anchor} line any more")
    endif()
endforeach()
string(REPLACE "${timer}" "${timer}
        <ui:window-resizer name=\"window-resizer\" min-window-width=\"300\" min-window-height=\"180\"
                           max-window-width=\"900\" max-window-height=\"600\"/>" text "${text}")
string(REPLACE "${knob}" "${knob}
            <ui:readout name=\"in-value\" width=\"80\" height=\"20\" font-name=\"font.compact\" bridge=\"ui.ingain-bridge\"
                        is-editbox-on-click=\"true\" color=\"EditBox\"/>" text "${text}")
string(REPLACE "${about_end}" "${about_end}
          <ui:win-resize-handle name=\"resize-handle\" width=\"12\" height=\"26\" image-set=\"is.winresize\" color=\"Button\"
                                placement=\"window-overlay\" alignment-h=\"right\" alignment-v=\"bottom\"/>" text "${text}")
file(WRITE ${OUTPUT} "${text}")
