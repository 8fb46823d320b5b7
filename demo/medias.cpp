#include "corvex/stream/embed.h"
#include "demo/demo.h"

namespace cvx::embedded {
extern const unsigned char demo_fond_plan_1[];
extern const std::size_t demo_fond_plan_1_size;
extern const unsigned char demo_fond_plan_2[];
extern const std::size_t demo_fond_plan_2_size;
extern const unsigned char demo_play_all_glued2[];
extern const std::size_t demo_play_all_glued2_size;
extern const unsigned char demo_fire[];
extern const std::size_t demo_fire_size;
extern const unsigned char demo_bluspark[];
extern const std::size_t demo_bluspark_size;
extern const unsigned char demo_smoke1[];
extern const std::size_t demo_smoke1_size;
}  // namespace cvx::embedded

namespace demo {

using namespace cvx;

void RegisterDemoMedias() {
  InitEmbed();
  auto put = [](const String& name, const unsigned char* bytes, std::size_t size) {
    EmbedRegister(name, bytes, static_cast<std::int32_t>(size));
  };
  put("Medias/Fond_Plan_1.png"_s, embedded::demo_fond_plan_1, embedded::demo_fond_plan_1_size);
  put("Medias/Fond_Plan_2.png"_s, embedded::demo_fond_plan_2, embedded::demo_fond_plan_2_size);
  put("Medias/Play_All_Glued2.png"_s, embedded::demo_play_all_glued2, embedded::demo_play_all_glued2_size);
  put("Medias/fire.tga"_s, embedded::demo_fire, embedded::demo_fire_size);
  put("Medias/bluspark.png"_s, embedded::demo_bluspark, embedded::demo_bluspark_size);
  put("Medias/smoke1.png"_s, embedded::demo_smoke1, embedded::demo_smoke1_size);
}

}  // namespace demo
