-- The firefly's behaviour. The program calls update(frame) once a frame; the
-- script answers through the two functions the program gave it, move(x, y)
-- and colour(r, g, b), and returns a word for the status line.
-- Edit this file and rebuild: the program itself does not change.

centre_x, centre_y = 160, 120

function update(frame)
  local t = frame * 0.03
  -- A figure of eight around the centre of the window.
  move(centre_x + 110 * math.sin(t), centre_y + 70 * math.sin(2 * t))
  if math.cos(t) > 0 then
    colour(255, 220, 60)
    return "glowing"
  else
    colour(80, 200, 255)
    return "cooling"
  end
end
