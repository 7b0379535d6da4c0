# Renders the guide (Markdown) to one HTML page that opens in any browser, offline.
#
#   cmake -DCMARK=cmark-gfm -DINPUT=docs/guia.md -DOUTPUT=guia.html -DTITLE=... -P render-guide.cmake
#
# GitHub-flavoured Markdown (tables), UTF-8. Images keep their relative paths (img/...), so
# the page goes beside the folder img/ that holds them.
foreach(var CMARK INPUT OUTPUT TITLE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "render-guide.cmake: ${var} is not set")
  endif()
endforeach()

execute_process(
  COMMAND ${CMARK} --to html --extension table --extension autolink --smart ${INPUT}
  OUTPUT_VARIABLE body
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmark-gfm failed on ${INPUT}: ${status}")
endif()

set(style [=[
body { font-family: Segoe UI, Tahoma, Arial, sans-serif; max-width: 50em; margin: 2em auto;
       padding: 0 1em; line-height: 1.5; color: #222; }
code, pre { font-family: Consolas, "Courier New", monospace; background: #f3f3f3; }
pre { padding: .6em; overflow-x: auto; }
table { border-collapse: collapse; }
th, td { border: 1px solid #bbb; padding: .25em .6em; vertical-align: top; text-align: left; }
img { border: 1px solid #999; max-width: 100%; }
h1, h2, h3 { color: #1f3f6f; }
]=])

file(WRITE ${OUTPUT}
  "<!DOCTYPE html>\n<html lang=\"pt-BR\">\n<head>\n<meta charset=\"utf-8\">\n"
  "<title>${TITLE}</title>\n<style>${style}</style>\n</head>\n<body>\n"
  "${body}"
  "</body>\n</html>\n")
