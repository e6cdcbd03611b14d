-- pandoc's ms writer leaves pictures out. A paragraph that is only a picture
-- becomes a groff .PDFPIC of the picture's PDF twin (images/NAME.pdf beside
-- the generated ms file), centred and followed by its caption in italics.
function Para(el)
  if #el.content == 1 and el.content[1].t == "Image" then
    local img = el.content[1]
    local name = img.src:match("([^/]+)%.png$")
    if not name then return nil end
    local width = img.attributes["pdfwidth"] or "6i"
    local blocks = { pandoc.RawBlock("ms", ".PDFPIC -C images/" .. name .. ".pdf " .. width) }
    local caption = pandoc.utils.stringify(img.caption)
    if caption ~= "" then
      table.insert(blocks, pandoc.RawBlock("ms", ".ce 1\n\\fI" .. caption .. "\\fP\n.sp 0.5"))
    end
    return blocks
  end
end
