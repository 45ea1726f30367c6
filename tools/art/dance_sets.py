"""The five dancing figures: a head, eight right halves of the upper body and
four right legs per set, drawn in figure coordinates (250 x 280, the figure
centred at x = 125) and cut into the pictures the window mirrors and ORs.

Occlusion is baked in, because OR-ing has no depth: a body picture is blanked
where the head is, and a leg picture where the torso (the part every body
pose shares) is, so overlapping parts never mix their colours.
"""
import math
import os

from PIL import Image

import paint as P

W, H = 250, 280
CX = 125

# (upper arm, forearm) directions in degrees from straight down, turning
# outwards; then the hand's shape. Eight clearly different arm poses.
ARM_POSES = [
    (10, 4, "fist"),      # hanging down
    (88, 92, "open"),     # straight out
    (138, 150, "open"),   # up and out
    (38, 200, "fist"),    # hand at the chest (the crooner holds his microphone)
    (100, 168, "open"),   # waving
    (42, -50, "fist"),    # hand on the hip
    (62, 66, "point"),    # pointing down and out
    (158, 172, "open"),   # raised high
]

# (thigh, shin) directions and how much of the leg's length shows: standing,
# stepping out, knee up, kicking.
LEG_POSES = [(3, 1, 1.0), (22, 16, 1.0), (80, 6, 1.0), (56, 58, 1.0)]
# Long-armed grown-ups: a hanging hand would lie over a lifted thigh, and OR-ing
# has no depth, so the hands hang a little out and the knee lifts forwards.
ARM_POSES_LONG = [(17, 10, "fist")] + ARM_POSES[1:5] + [(50, -40, "fist")] + ARM_POSES[6:]
LEG_POSES_LONG = [(3, 1, 1.0), (22, 16, 1.0), (38, -10, 0.82), (46, 50, 1.0)]
# Sets whose legs start at the knee: the lower leg alone moves.
SHIN_POSES = [(2, 1.0), (20, 1.0), (6, 0.62), (62, 1.0)]


def canvas():
    return Image.new("RGB", (W * P.SCALE, H * P.SCALE), (0, 0, 0))


def newmask():
    return P.mask((W * P.SCALE, H * P.SCALE))


def direction(deg):
    r = math.radians(deg)
    return math.sin(r), math.cos(r)


def darker(c, k=0.45):
    return P.scaled(c, k)


class Figure:
    """Shared drawing of arms, hands and legs; each character adds its own look."""

    name = ""
    tops = (0, 0, 0)
    skin = (255, 214, 188)
    shoulder = (CX + 20, 120)
    upper_arm, forearm = 24.0, 21.0
    arm_r = (4.4, 3.8, 3.4)          # shoulder, elbow, wrist radii
    hand_r = 4.4
    glove = None                      # hand colour when not skin
    sleeve = (255, 120, 170)
    sleeve_len = 0.35                 # 0..2: how far down the arm (1 = elbow, 2 = wrist)
    sleeve_extra = 1.2
    cuff = None
    hip = (CX + 10, 160)
    thigh, shin = 45.0, 44.0
    leg_r = (7.0, 5.4, 4.2)
    arm_poses = ARM_POSES
    leg_poses = LEG_POSES

    # --- arms -----------------------------------------------------------
    def arm_points(self, pose):
        a1, a2, _hand = pose
        sx, sy = self.shoulder
        d1, d2 = direction(a1), direction(a2)
        ex, ey = sx + d1[0] * self.upper_arm, sy + d1[1] * self.upper_arm
        wx, wy = ex + d2[0] * self.forearm, ey + d2[1] * self.forearm
        return (sx, sy), (ex, ey), (wx, wy), d2

    def draw_arm(self, cv, pose):
        (sx, sy), (ex, ey), (wx, wy), d2 = self.arm_points(pose)
        r0, r1, r2 = self.arm_r
        arm = P.limb(newmask(), [(sx, sy, r0), (ex, ey, r1), (wx, wy, r2)])
        P.fill(cv, arm, self.skin, soft=2.2, outline=darker(self.skin, 0.55))
        self.draw_sleeve(cv, (sx, sy), (ex, ey), (wx, wy))
        self.draw_hand(cv, (wx, wy), d2, pose[2])

    def sleeve_joints(self, s, e, w):
        r0, r1, r2 = self.arm_r
        x = self.sleeve_extra
        t = self.sleeve_len
        if t <= 1:
            end = (s[0] + (e[0] - s[0]) * t, s[1] + (e[1] - s[1]) * t, r0 + (r1 - r0) * t + x)
            return [(s[0], s[1], r0 + x), end]
        t -= 1
        end = (e[0] + (w[0] - e[0]) * t, e[1] + (w[1] - e[1]) * t, r1 + (r2 - r1) * t + x)
        return [(s[0], s[1], r0 + x), (e[0], e[1], r1 + x), end]

    def draw_sleeve(self, cv, s, e, w):
        joints = self.sleeve_joints(s, e, w)
        m = P.limb(newmask(), joints)
        P.fill(cv, m, self.sleeve, soft=3, outline=darker(self.sleeve, 0.5))
        if self.cuff:
            x, y, r = joints[-1]
            P.fill(cv, P.circle(newmask(), x, y, r * 0.95), self.cuff, soft=1.5, outline=darker(self.cuff, 0.5))
        return joints

    def draw_hand(self, cv, wrist, d, kind):
        colour = self.glove or self.skin
        r = self.hand_r
        hx, hy = wrist[0] + d[0] * r * 0.8, wrist[1] + d[1] * r * 0.8
        m = P.ellipse(newmask(), hx, hy, r, r)
        px, py = -d[1], d[0]  # across the hand
        if kind == "open":
            for k in (-0.75, -0.25, 0.25, 0.75):
                bx, by = hx + px * k * r * 1.1, hy + py * k * r * 1.1
                tip = r * (1.6 - abs(k) * 0.5)
                P.line(m, [(bx, by), (bx + d[0] * tip, by + d[1] * tip)], r * 0.48)
            # thumb, on the side towards the body
            tx, ty = hx - px * r * 0.9, hy - py * r * 0.9
            P.line(m, [(tx, ty), (tx - px * r * 0.6 + d[0] * r * 0.5, ty - py * r * 0.6 + d[1] * r * 0.5)], r * 0.5)
        elif kind == "point":
            P.line(m, [(hx, hy), (hx + d[0] * r * 2.3, hy + d[1] * r * 2.3)], r * 0.5)
        P.fill(cv, m, colour, soft=1.6, outline=darker(colour, 0.5))

    # --- legs -----------------------------------------------------------
    def leg_points(self, pose):
        a1, a2, length = pose
        hx, hy = self.hip
        d1, d2 = direction(a1), direction(a2)
        kx, ky = hx + d1[0] * self.thigh * length, hy + d1[1] * self.thigh * length
        ax, ay = kx + d2[0] * self.shin * length, ky + d2[1] * self.shin * length
        return (hx, hy), (kx, ky), (ax, ay), a2

    def draw_leg(self, cv, pose):
        raise NotImplementedError

    def shoe(self, cv, ankle, angle, colour, size=1.0, toe=None):
        dx, dy = direction(angle)
        nx, ny = dy, -dx  # outwards, across the leg
        ax, ay = ankle
        r = 5.0 * size
        heel = (ax + dx * 2.5 * size - nx * 1.5 * size, ay + dy * 2.5 * size - ny * 1.5 * size, r * 0.95)
        tip = (ax + dx * 4.5 * size + nx * 5.5 * size, ay + dy * 4.5 * size + ny * 5.5 * size, r)
        m = P.limb(newmask(), [heel, tip])
        P.fill(cv, m, colour, soft=2, outline=darker(colour, 0.45))
        shine = P.ellipse(newmask(), tip[0] - 1.2 * size, tip[1] - 2.2 * size, 2.2 * size, 1.1 * size)
        P.shine(cv, shine, 90, 1.2)
        if toe:
            P.fill(cv, P.ellipse(newmask(), tip[0] + nx * 1.5 * size, tip[1] + 0.5, 3.0 * size, 3.2 * size), toe,
                   soft=1.2, outline=darker(toe, 0.5))

    def draw_torso(self, cv):
        raise NotImplementedError

    def draw_head(self, cv):
        raise NotImplementedError


# --- faces -----------------------------------------------------------------

def anime_eye(cv, x, y, rx, ry, iris, lash=(60, 30, 40), wink=False):
    if wink:
        P.fill(cv, P.arc(newmask(), x, y + ry * 0.2, rx * 1.1, ry * 0.6, 200, 340, 1.6), lash, flat=True)
        return
    P.fill(cv, P.ellipse(newmask(), x, y, rx, ry), (255, 255, 255), soft=1.5, lo=0.8)
    P.fill(cv, P.ellipse(newmask(), x, y + ry * 0.12, rx * 0.82, ry * 0.86), iris, soft=2.0, lo=0.45)
    P.fill(cv, P.ellipse(newmask(), x, y + ry * 0.15, rx * 0.42, ry * 0.45), darker(iris, 0.3), flat=True)
    P.fill(cv, P.circle(newmask(), x - rx * 0.35, y - ry * 0.3, rx * 0.32), (255, 255, 255), flat=True)
    P.fill(cv, P.circle(newmask(), x + rx * 0.3, y + ry * 0.45, rx * 0.16), (255, 255, 255), flat=True)
    P.fill(cv, P.arc(newmask(), x, y + ry * 0.25, rx * 1.15, ry * 1.2, 195, 345, 1.5), lash, flat=True)


def blush(cv, x, y, rx, ry, colour=(255, 140, 160)):
    m = P.ellipse(newmask(), x, y, rx, ry)
    P.fill(cv, m, colour, soft=1.6, lo=0.85)


# --- the pop idol ------------------------------------------------------------

class Bunny(Figure):
    name = "Bunny"
    tops = (28, 0, 156)
    skin = (255, 218, 196)
    hair = (150, 84, 58)
    pink = (255, 112, 172)
    white = (252, 244, 248)
    shoulder = (CX + 19, 119)
    upper_arm, forearm = 23.0, 21.0
    sleeve = pink
    sleeve_len = 0.32
    sleeve_extra = 3.0
    cuff = None
    glove = (252, 246, 250)
    hip = (CX + 10, 160)
    arm_poses = [(7, 1, "fist")] + ARM_POSES[1:7] + [(146, 166, "open")]
    thigh, shin = 44.0, 44.0

    def draw_head(self, cv):
        # ears behind the hair; the right one flops over
        for joints, inner in (([(113, 60, 5.5), (108, 44, 7), (106, 36, 6.5)], [(112, 56, 2.2), (107.5, 40, 3.4)]),
                              ([(137, 60, 5.5), (144, 47, 7), (154, 40, 6.5)], [(138, 56, 2.2), (150, 42, 3.2)])):
            P.fill(cv, P.limb(newmask(), joints), self.white, soft=3, outline=(200, 150, 175))
            P.fill(cv, P.limb(newmask(), inner), (255, 160, 200), soft=1.5, lo=0.75)
        back = P.union(P.ellipse(newmask(), CX, 80, 29, 28), P.rect(newmask(), 96, 80, 154, 108, radius=9))
        P.fill(cv, back, self.hair, soft=6, outline=darker(self.hair, 0.5))
        face = P.ellipse(newmask(), CX, 85, 22, 23)
        P.fill(cv, face, self.skin, soft=6, lo=0.72, outline=darker(self.skin, 0.6))
        bangs = P.polygon(newmask(), [(97, 84), (101, 64), (112, 55), (125, 52), (138, 55), (149, 64), (153, 84),
                                      (147, 75), (142, 80), (135, 71), (128, 78), (122, 70), (114, 79), (109, 71),
                                      (103, 77)])
        bangs = P.intersect(bangs, P.ellipse(newmask(), CX, 79, 29, 28))
        P.fill(cv, bangs, self.hair, soft=5, outline=darker(self.hair, 0.5))
        P.shine(cv, P.ellipse(newmask(), 116, 62, 9, 3), 120, 2)
        P.fill(cv, P.arc(newmask(), CX, 80, 29, 28, 205, 335, 4.2), self.pink, soft=1.5, outline=darker(self.pink, 0.5))
        anime_eye(cv, 116, 89, 5.2, 6.4, (150, 70, 150))
        anime_eye(cv, 134, 89, 5.2, 6.4, (150, 70, 150))
        blush(cv, 110, 98, 4, 2.2)
        blush(cv, 140, 98, 4, 2.2)
        mouth = P.intersect(P.ellipse(newmask(), CX, 99.5, 4.2, 4.2), P.rect(newmask(), 118, 100, 132, 106))
        P.fill(cv, mouth, (205, 60, 95), soft=1, lo=0.7)

    def torso_mask(self):
        m = P.polygon(newmask(), [(107, 116), (143, 116), (146, 123), (138, 142), (112, 142), (104, 123)])
        P.circle(m, 106, 121, 5.5)
        P.circle(m, 144, 121, 5.5)
        return m

    def skirt_mask(self):
        return P.polygon(newmask(), [(111, 141), (139, 141), (160, 171), (90, 171)])

    def draw_torso(self, cv):
        P.fill(cv, P.limb(newmask(), [(CX, 100, 5), (CX, 116, 5.5)]), self.skin, soft=2, lo=0.6)
        P.fill(cv, self.torso_mask(), self.pink, soft=5, outline=darker(self.pink, 0.5))
        P.fill(cv, P.ellipse(newmask(), CX, 116, 11, 5), self.white, soft=2, outline=(200, 160, 180))
        skirt = self.skirt_mask()
        P.fill(cv, skirt, self.pink, soft=6, outline=darker(self.pink, 0.5))
        for x in (-22, -13, -5, 5, 13, 22):
            P.fill(cv, P.line(newmask(), [(CX + x * 0.45, 143), (CX + x, 170)], 0.8), darker(self.pink, 0.72),
                   flat=True)
        frill = newmask()
        for i in range(9):
            P.circle(frill, 92 + i * 8.25, 171, 4.4)
        P.fill(cv, P.subtract(frill, skirt), self.white, soft=1.8, outline=(200, 150, 175))
        P.fill(cv, P.rect(newmask(), 111, 139, 139, 144, radius=1.5), self.white, soft=1.5, outline=(200, 150, 175))
        bow = P.polygon(newmask(), [(CX, 125), (114, 119), (115, 131)])
        P.polygon(bow, [(CX, 125), (136, 119), (135, 131)])
        P.polygon(bow, [(CX - 2, 126), (CX - 6, 138), (CX - 1, 136)])
        P.polygon(bow, [(CX + 2, 126), (CX + 6, 138), (CX + 1, 136)])
        P.fill(cv, bow, (230, 30, 80), soft=1.6, outline=(120, 10, 40))
        P.fill(cv, P.circle(newmask(), CX, 125, 2.6), (250, 60, 110), soft=1, outline=(120, 10, 40))
        P.shine(cv, P.ellipse(newmask(), 134, 124, 3, 5), 70, 2.5)

    def draw_sleeve(self, cv, s, e, w):
        joints = super().draw_sleeve(cv, s, e, w)
        x, y, r = joints[-1]
        P.fill(cv, P.arc(newmask(), x, y, r * 0.8, r * 0.8, 0, 360, 1.2), self.white, flat=True)

    def draw_leg(self, cv, pose):
        (hx, hy), (kx, ky), (ax, ay), a2 = self.leg_points(pose)
        r0, r1, r2 = self.leg_r
        leg = P.limb(newmask(), [(hx, hy, r0), (kx, ky, r1), (ax, ay, r2)])
        P.fill(cv, leg, self.skin, soft=3, lo=0.6, outline=darker(self.skin, 0.55))
        t = 0.42
        bx, by = kx + (ax - kx) * t, ky + (ay - ky) * t
        boot = P.limb(newmask(), [(bx, by, r1 + 1.3), (ax, ay, r2 + 1.4)])
        P.fill(cv, boot, self.pink, soft=2.5, outline=darker(self.pink, 0.5))
        P.fill(cv, P.circle(newmask(), bx, by, r1 + 1.6), self.white, soft=1.5, outline=(200, 150, 175))
        self.shoe(cv, (ax, ay), a2, self.pink, 1.05)


# --- the crooner ---------------------------------------------------------------

class Pops(Figure):
    name = "Pops"
    tops = (51, 0, 156)
    skin = (242, 200, 165)
    jacket = (150, 34, 58)
    lapel = (40, 30, 38)
    trousers = (62, 62, 76)
    hat = (74, 74, 86)
    shoulder = (CX + 28, 121)
    upper_arm, forearm = 26.0, 24.0
    arm_r = (6.2, 5.4, 4.6)
    hand_r = 4.6
    sleeve = jacket
    sleeve_len = 1.93
    sleeve_extra = 0.7
    cuff = (248, 248, 250)
    hip = (CX + 11, 158)
    thigh, shin = 46.0, 46.0
    leg_r = (8.4, 6.8, 5.6)
    arm_poses = [(20, 12, "fist")] + ARM_POSES_LONG[1:5] + [(56, -34, "fist")] + ARM_POSES_LONG[6:]
    leg_poses = LEG_POSES_LONG[:3] + [(42, 48, 1.0)]

    def draw_head(self, cv):
        P.fill(cv, P.ellipse(newmask(), 106, 91, 3.6, 5.5), self.skin, soft=1.5, outline=darker(self.skin, 0.55))
        P.fill(cv, P.ellipse(newmask(), 144, 91, 3.6, 5.5), self.skin, soft=1.5, outline=darker(self.skin, 0.55))
        face = P.ellipse(newmask(), CX, 89, 19, 21)
        P.fill(cv, face, self.skin, soft=6, lo=0.7, outline=darker(self.skin, 0.55))
        hair = P.union(P.rect(newmask(), 105, 70, 111, 92, radius=2), P.rect(newmask(), 139, 70, 145, 92, radius=2))
        P.fill(cv, hair, (70, 45, 35), soft=1.5, outline=(40, 25, 20))
        crown = P.polygon(newmask(), [(105, 72), (108, 57), (116, 52.5), (CX, 55.5), (134, 52.5), (142, 57), (145, 72)])
        P.fill(cv, crown, self.hat, soft=4, outline=darker(self.hat, 0.45))
        P.fill(cv, P.rect(newmask(), 106, 64, 144, 70), self.jacket, soft=1.5, lo=0.7)
        P.fill(cv, P.ellipse(newmask(), CX, 72, 32, 5.2), self.hat, soft=2.5, outline=darker(self.hat, 0.45))
        P.shine(cv, P.ellipse(newmask(), 116, 58, 5, 2), 80, 1.5)
        # eyes shut, singing
        for x in (117, 133):
            P.fill(cv, P.arc(newmask(), x, 89, 4.5, 3, 190, 350, 1.5), (60, 35, 30), flat=True)
            P.fill(cv, P.line(newmask(), [(x - 5, 83), (x + 4, 82.5)], 1.5), (70, 45, 35), flat=True)
        P.fill(cv, P.arc(newmask(), CX, 95, 2.5, 2.5, 20, 160, 1.0), darker(self.skin, 0.6), flat=True)
        mouth = P.ellipse(newmask(), CX, 102, 5.5, 4.2)
        P.fill(cv, mouth, (130, 35, 40), soft=1.2, lo=0.6)
        P.fill(cv, P.intersect(mouth, P.ellipse(newmask(), CX, 105.5, 3.5, 2)), (230, 110, 110), flat=True)
        P.fill(cv, P.rect(newmask(), CX - 4, 98.2, CX + 4, 99.6), (250, 250, 250), flat=True)

    def torso_mask(self):
        m = P.polygon(newmask(), [(99, 117), (151, 117), (154, 127), (146, 163), (104, 163), (96, 127)])
        P.circle(m, 99, 124, 7)
        P.circle(m, 151, 124, 7)
        return m

    def draw_torso(self, cv):
        P.fill(cv, P.limb(newmask(), [(CX, 104, 6), (CX, 118, 6.5)]), self.skin, soft=2, lo=0.6)
        P.fill(cv, self.torso_mask(), self.jacket, soft=7, outline=darker(self.jacket, 0.45))
        shirt = P.polygon(newmask(), [(116, 113), (134, 113), (CX, 143)])
        P.fill(cv, shirt, (248, 248, 250), soft=2.5, lo=0.75)
        for side in (-1, 1):
            lapel = P.polygon(newmask(), [(CX + side * 9, 113), (CX + side * 1.5, 141), (CX + side * 6, 141),
                                          (CX + side * 15, 126), (CX + side * 12, 122), (CX + side * 14, 114)])
            P.fill(cv, lapel, self.lapel, soft=2, lo=0.7, outline=darker(self.jacket, 0.4))
        bow = P.polygon(newmask(), [(CX, 118), (116, 113.5), (116, 122.5)])
        P.polygon(bow, [(CX, 118), (134, 113.5), (134, 122.5)])
        P.fill(cv, bow, (40, 34, 44), soft=1.2, lo=0.8)
        P.fill(cv, P.circle(newmask(), CX, 118, 2.2), (70, 60, 70), flat=True)
        for y in (148, 156):
            P.fill(cv, P.circle(newmask(), CX, y, 1.7), (230, 200, 120), soft=0.8, outline=(90, 70, 30))
        P.fill(cv, P.rect(newmask(), 138, 129, 145, 131.5), (250, 250, 250), soft=0.8)

    def draw_hand(self, cv, wrist, d, kind):
        super().draw_hand(cv, wrist, d, kind)
        if self.current_pose is self.arm_poses[3]:
            hx, hy = wrist[0] + d[0] * 5, wrist[1] + d[1] * 5
            P.fill(cv, P.limb(newmask(), [(hx + 1, hy + 5, 1.8), (hx, hy - 3, 2.4)]), (60, 60, 70), soft=1,
                   outline=(30, 30, 36))
            P.fill(cv, P.circle(newmask(), hx, hy - 6.5, 4), (200, 205, 215), soft=1.5, outline=(80, 80, 90))
            P.shine(cv, P.circle(newmask(), hx - 1.2, hy - 8, 1.4), 120, 0.8)

    def draw_arm(self, cv, pose):
        self.current_pose = pose
        super().draw_arm(cv, pose)

    def draw_leg(self, cv, pose):
        (hx, hy), (kx, ky), (ax, ay), a2 = self.leg_points(pose)
        r0, r1, r2 = self.leg_r
        leg = P.limb(newmask(), [(hx, hy, r0), (kx, ky, r1), (ax, ay, r2 + 0.8)])
        P.fill(cv, leg, self.trousers, soft=3.5, outline=darker(self.trousers, 0.45))
        P.fill(cv, P.line(newmask(), [(hx, hy + 4), (kx, ky), (ax, ay - 1)], 0.6), P.scaled(self.trousers, 1.35),
               flat=True)
        self.shoe(cv, (ax, ay + 1), a2, (60, 52, 52), 1.15)


# --- the fisherman -------------------------------------------------------------

class Man(Figure):
    name = "Man"
    tops = (14, 0, 146)
    skin = (236, 182, 146)
    beard = (128, 82, 50)
    navy = (44, 62, 128)
    shirt = (244, 244, 248)
    trousers = (52, 70, 128)
    boots = (246, 196, 40)
    shoulder = (CX + 33, 101)
    upper_arm, forearm = 29.0, 26.0
    arm_r = (8.0, 6.6, 5.6)
    hand_r = 6.2
    sleeve = shirt
    sleeve_len = 1.1
    sleeve_extra = 0.8
    hip = (CX + 13, 157)
    thigh, shin = 48.0, 44.0
    leg_r = (10.0, 8.2, 7.0)
    arm_poses = ARM_POSES_LONG
    leg_poses = LEG_POSES_LONG

    def stripes(self, cv, m, top, step=7.0, width=2.8):
        band = newmask()
        y = top
        while y < H:
            P.rect(band, 0, y, W, y + width)
            y += step
        P.fill(cv, P.intersect(m, band), self.navy, soft=2.5, lo=0.6)

    def draw_head(self, cv):
        for x in (103, 147):
            P.fill(cv, P.ellipse(newmask(), x, 60, 4, 6), self.skin, soft=1.5, outline=darker(self.skin, 0.55))
        face = P.ellipse(newmask(), CX, 58, 21, 23)
        P.fill(cv, face, self.skin, soft=6, lo=0.7, outline=darker(self.skin, 0.55))
        beard = P.subtract(P.ellipse(newmask(), CX, 66, 23.5, 26), P.ellipse(newmask(), CX, 55, 19, 20))
        beard = P.intersect(beard, P.rect(newmask(), 90, 56, 160, 95))
        P.fill(cv, beard, self.beard, soft=3, outline=darker(self.beard, 0.5))
        stache = P.limb(newmask(), [(115, 73, 2.6), (120, 70.5, 3.4), (CX, 71, 3), (130, 70.5, 3.4), (135, 73, 2.6)])
        P.fill(cv, stache, self.beard, soft=1.5, outline=darker(self.beard, 0.5))
        mouth = P.intersect(P.ellipse(newmask(), CX, 76, 5, 3.5), P.rect(newmask(), 118, 76, 132, 82))
        P.fill(cv, mouth, (140, 40, 40), soft=1, lo=0.7)
        P.fill(cv, P.ellipse(newmask(), CX, 65, 4, 3.5), P.scaled(self.skin, 0.96), soft=1.6, lo=0.75,
               outline=darker(self.skin, 0.7))
        for x in (116, 134):
            P.fill(cv, P.ellipse(newmask(), x, 58, 2.4, 3), (40, 30, 30), flat=True)
            P.fill(cv, P.circle(newmask(), x - 0.8, 57, 0.8), (255, 255, 255), flat=True)
            P.fill(cv, P.line(newmask(), [(x - 5, 51), (x + 4, 50)], 2.4), self.beard, flat=True)
        blush(cv, 110, 66, 4, 2, (240, 130, 110))
        blush(cv, 140, 66, 4, 2, (240, 130, 110))
        # sailor's cap: white dome, rolled brim with a navy band
        dome = P.intersect(P.ellipse(newmask(), CX, 32, 21, 17), P.rect(newmask(), 90, 10, 160, 37))
        P.fill(cv, dome, self.shirt, soft=5, outline=(150, 150, 170))
        P.fill(cv, P.rect(newmask(), 104, 31, 146, 36.5, radius=2), self.navy, soft=1.5, lo=0.7)
        P.fill(cv, P.ellipse(newmask(), CX, 39, 25, 4.8), self.shirt, soft=2.5, outline=(150, 150, 170))

    def torso_mask(self):
        m = P.polygon(newmask(), [(92, 98), (158, 98), (161, 108), (152, 147), (98, 147), (89, 108)])
        P.circle(m, 94, 105, 9)
        P.circle(m, 156, 105, 9)
        return m

    def draw_torso(self, cv):
        torso = self.torso_mask()
        P.fill(cv, torso, self.shirt, soft=8, lo=0.6, outline=(140, 140, 160))
        self.stripes(cv, P.intersect(torso, P.rect(newmask(), 0, 106, W, H)), 106)
        P.fill(cv, P.rect(newmask(), 98, 139, 152, 146.5, radius=1.5), (120, 72, 40), soft=1.5, outline=(60, 36, 20))
        P.fill(cv, P.rect(newmask(), 120, 139.5, 130, 146, radius=1), (230, 200, 90), soft=1, outline=(110, 90, 30))
        scarf = P.polygon(newmask(), [(110, 93), (140, 93), (CX, 112)])
        P.fill(cv, scarf, (214, 44, 44), soft=2.5, outline=(110, 20, 20))
        P.fill(cv, P.circle(newmask(), CX, 97, 3.4), (235, 70, 60), soft=1, outline=(110, 20, 20))

    def draw_sleeve(self, cv, s, e, w):
        joints = self.sleeve_joints(s, e, w)
        m = P.limb(newmask(), joints)
        P.fill(cv, m, self.shirt, soft=3, lo=0.6, outline=(140, 140, 160))
        self.stripes(cv, m, 1)
        # rolled-up cuff: a short band across the end of the sleeve
        (x0, y0, _), (x, y, r) = joints[-2], joints[-1]
        n = ((x - x0) ** 2 + (y - y0) ** 2) ** 0.5 or 1.0
        ux, uy = (x - x0) / n, (y - y0) / n
        band = P.limb(newmask(), [(x - ux * 3, y - uy * 3, r + 0.6), (x, y, r + 0.6)])
        P.fill(cv, band, self.shirt, soft=1.5, lo=0.75, outline=(140, 140, 160))

    def hip_block(self):
        return P.rect(newmask(), 99, 146, 151, 166, radius=4)

    def draw_leg(self, cv, pose):
        (hx, hy), (kx, ky), (ax, ay), a2 = self.leg_points(pose)
        r0, r1, r2 = self.leg_r
        leg = P.limb(newmask(), [(hx, hy, r0), (kx, ky, r1), (ax, ay, r2)])
        # the seat of the trousers is the same in every pose, so both halves always meet
        P.fill(cv, leg, self.trousers, soft=4, outline=darker(self.trousers, 0.45))
        P.fill(cv, self.hip_block(), self.trousers, soft=4, outline=darker(self.trousers, 0.45))
        t = 0.38
        bx, by = kx + (ax - kx) * t, ky + (ay - ky) * t
        boot = P.limb(newmask(), [(bx, by, r1 + 1.5), (ax, ay, r2 + 1.5)])
        P.fill(cv, boot, self.boots, soft=3, outline=darker(self.boots, 0.45))
        P.fill(cv, P.circle(newmask(), bx, by, r1 + 1.9), P.scaled(self.boots, 0.92), soft=1.6,
               outline=darker(self.boots, 0.45))
        self.shoe(cv, (ax, ay), a2, self.boots, 1.3)


# --- the child -------------------------------------------------------------------

class Child(Figure):
    name = "Child"
    tops = (44, 65, 221)
    skin = (255, 214, 184)
    hair = (120, 72, 40)
    smock = (126, 196, 246)
    shorts = (232, 66, 70)
    shoulder = (CX + 19, 135)
    upper_arm, forearm = 19.0, 16.0
    arm_r = (5.4, 4.6, 4.2)
    hand_r = 5.0
    sleeve = smock
    sleeve_len = 0.55
    sleeve_extra = 2.2
    hip = (CX + 13, 219)
    shin = 33.0
    leg_r = (6.6, 5.6, 4.8)
    # the big head leaves less room for raised hands
    arm_poses = ARM_POSES[:2] + [(120, 135, "open")] + ARM_POSES[3:7] + [(108, 172, "open")]
    leg_poses = SHIN_POSES

    def draw_head(self, cv):
        for x in (89, 161):
            P.fill(cv, P.ellipse(newmask(), x, 99, 5.5, 7), self.skin, soft=2, outline=darker(self.skin, 0.55))
        face = P.ellipse(newmask(), CX, 95, 36, 33)
        P.fill(cv, face, self.skin, soft=8, lo=0.72, outline=darker(self.skin, 0.55))
        fringe = P.polygon(newmask(), [(92, 84), (95, 66), (CX, 58), (155, 66), (158, 84), (152, 76), (146, 80),
                                       (140, 73), (132, 79), (CX, 72), (118, 79), (110, 73), (104, 80), (98, 76)])
        fringe = P.intersect(fringe, P.ellipse(newmask(), CX, 92, 36, 34))
        P.fill(cv, fringe, self.hair, soft=4, outline=darker(self.hair, 0.5))
        # yellow kindergarten hat
        crown = P.intersect(P.ellipse(newmask(), CX, 68, 28, 22), P.rect(newmask(), 90, 40, 160, 69))
        P.fill(cv, crown, (252, 214, 44), soft=6, outline=(150, 110, 20))
        P.fill(cv, P.ellipse(newmask(), CX, 69, 42, 7), (252, 214, 44), soft=3, outline=(150, 110, 20))
        P.fill(cv, P.rect(newmask(), 98, 61, 152, 65, radius=1), (240, 90, 60), soft=1, lo=0.75)
        P.shine(cv, P.ellipse(newmask(), 114, 53, 7, 3), 90, 2)
        for x in (111, 139):
            P.fill(cv, P.ellipse(newmask(), x, 98, 5.2, 6.4), (50, 34, 30), soft=1.5, lo=0.7)
            P.fill(cv, P.circle(newmask(), x - 1.8, 95.5, 1.9), (255, 255, 255), flat=True)
            P.fill(cv, P.circle(newmask(), x + 1.8, 100.5, 0.9), (255, 255, 255), flat=True)
        blush(cv, 101, 109, 6, 3.2)
        blush(cv, 149, 109, 6, 3.2)
        mouth = P.intersect(P.ellipse(newmask(), CX, 110, 7, 7), P.rect(newmask(), 115, 111, 135, 120))
        P.fill(cv, mouth, (190, 50, 60), soft=1.4, lo=0.7)
        P.fill(cv, P.intersect(mouth, P.ellipse(newmask(), CX, 118, 4.5, 3)), (245, 120, 130), flat=True)

    def torso_mask(self):
        m = P.polygon(newmask(), [(108, 130), (142, 130), (147, 142), (147, 193), (103, 193), (103, 142)])
        P.circle(m, 107, 137, 6.5)
        P.circle(m, 143, 137, 6.5)
        shorts = P.polygon(newmask(), [(103, 188), (147, 188), (151, 222), (CX + 1.5, 222), (CX, 206),
                                       (CX - 1.5, 222), (99, 222)])
        return P.union(m, shorts)

    def draw_torso(self, cv):
        P.fill(cv, P.limb(newmask(), [(CX, 122, 6), (CX, 134, 6.5)]), self.skin, soft=2, lo=0.6)
        shirt = P.polygon(newmask(), [(108, 130), (142, 130), (147, 142), (147, 193), (103, 193), (103, 142)])
        P.circle(shirt, 107, 137, 6.5)
        P.circle(shirt, 143, 137, 6.5)
        shorts = P.polygon(newmask(), [(103, 188), (147, 188), (151, 222), (CX + 1.5, 222), (CX, 206),
                                       (CX - 1.5, 222), (99, 222)])
        P.fill(cv, shorts, self.shorts, soft=4, outline=darker(self.shorts, 0.45))
        P.fill(cv, shirt, self.smock, soft=7, outline=darker(self.smock, 0.45))
        collar = P.subtract(P.ellipse(newmask(), CX, 131, 13, 7), P.ellipse(newmask(), CX, 128, 8, 5))
        P.fill(cv, collar, (255, 255, 255), soft=1.5, outline=(120, 150, 190))
        pocket = P.rect(newmask(), 114, 164, 136, 181, radius=4)
        P.fill(cv, pocket, P.scaled(self.smock, 0.9), soft=2, outline=darker(self.smock, 0.45))
        # tulip name badge
        P.fill(cv, P.polygon(newmask(), [(119, 146), (121, 140), (CX, 144), (129, 140), (131, 146), (CX, 152)]),
               (250, 80, 120), soft=1.2, outline=(140, 30, 60))
        P.fill(cv, P.line(newmask(), [(CX, 151), (CX, 157)], 1.2), (60, 160, 60), flat=True)

    def draw_leg(self, cv, pose):
        a, length = pose
        kx, ky = self.hip
        d = direction(a)
        ax, ay = kx + d[0] * self.shin * length, ky + d[1] * self.shin * length
        r0, r1, r2 = self.leg_r
        P.fill(cv, P.limb(newmask(), [(kx, ky, r0), (ax, ay, r2)]), self.skin, soft=2.5, lo=0.6,
               outline=darker(self.skin, 0.55))
        t = 0.55
        sx, sy = kx + (ax - kx) * t, ky + (ay - ky) * t
        P.fill(cv, P.limb(newmask(), [(sx, sy, r1 * 0.95 + 0.6), (ax, ay, r2 + 0.8)]), (252, 252, 252), soft=2,
               lo=0.7, outline=(150, 160, 180))
        self.shoe(cv, (ax, ay), a, (60, 120, 230), 1.15)


# --- the ghost ---------------------------------------------------------------------

def tear(m, start, end, r, teeth):
    """Cuts a ragged edge into the end of a tube of radius r running from start to end."""
    n = ((end[0] - start[0]) ** 2 + (end[1] - start[1]) ** 2) ** 0.5 or 1.0
    ux, uy = (end[0] - start[0]) / n, (end[1] - start[1]) / n
    px, py = -uy, ux
    width = 2 * r / teeth
    for i in range(teeth):
        k = -r + width * (i + 0.5)
        depth = r * (0.9 if i % 2 else 0.6)
        bx, by = end[0] + px * k + ux * r, end[1] + py * k + uy * r
        P.polygon(m, [(bx - px * width * 0.55, by - py * width * 0.55), (bx + px * width * 0.55, by + py * width * 0.55),
                      (bx - ux * depth * 1.6, by - uy * depth * 1.6)], fill=0)


class Horror(Figure):
    name = "Horror"
    tops = (48, 65, 221)
    skin = (172, 214, 150)
    rags = (116, 96, 138)
    trousers = (84, 80, 96)
    shoulder = (CX + 25, 119)
    upper_arm, forearm = 24.0, 22.0
    arm_r = (5.6, 4.4, 3.8)
    hand_r = 4.4
    sleeve = rags
    sleeve_len = 0.9
    sleeve_extra = 1.6
    hip = (CX + 12, 218)
    shin = 36.0
    leg_r = (6.0, 5.0, 4.2)
    arm_poses = ARM_POSES[:7] + [(150, 165, "open")]
    leg_poses = SHIN_POSES

    def draw_head(self, cv):
        hair = P.polygon(newmask(), [(99, 84), (96, 66), (100, 58), (104, 62), (106, 51), (112, 58), (117, 49),
                                     (122, 57), (128, 48.5), (132, 57), (139, 50), (142, 60), (148, 55), (150, 64),
                                     (155, 62), (154, 84)])
        P.fill(cv, hair, (64, 54, 78), soft=3, outline=(34, 28, 42))
        face = P.ellipse(newmask(), CX, 85, 22, 27)
        P.fill(cv, face, self.skin, soft=7, lo=0.6, outline=darker(self.skin, 0.45))
        strands = P.polygon(newmask(), [(104, 64), (CX, 60), (146, 66), (140, 74), (134, 68), (128, 76), (121, 67),
                                        (113, 75), (108, 68), (104, 80)])
        P.fill(cv, strands, (64, 54, 78), soft=2, outline=(34, 28, 42))
        for x, r in ((115, 6.2), (135, 7.2)):
            P.fill(cv, P.ellipse(newmask(), x, 86, r, r * 0.9), (58, 80, 62), soft=2.5, lo=0.5)
            P.fill(cv, P.circle(newmask(), x + 0.5, 87, r * 0.38), (250, 236, 90), soft=1, lo=0.8)
            P.shine(cv, P.circle(newmask(), x + 0.5, 87, r * 0.5), 90, 1.2)
        mouth = P.polygon(newmask(), [(113, 101), (137, 99), (135, 106), (115, 107)])
        P.fill(cv, mouth, (60, 36, 52), soft=1, lo=0.8)
        teeth = newmask()
        for i, x in enumerate(range(115, 136, 4)):
            P.rect(teeth, x + 0.6, 101 - i * 0.1, x + 3.2, 104.5 - (i % 2) * 1.5)
        P.fill(cv, P.intersect(teeth, mouth), (232, 226, 190), flat=True)
        P.fill(cv, P.line(newmask(), [(106, 74), (118, 78), (124, 76)], 1.0), (90, 60, 70), flat=True)
        for x in (109, 113.5, 118, 122):
            P.fill(cv, P.line(newmask(), [(x, 73), (x + 1, 79.5)], 0.8), (90, 60, 70), flat=True)
        P.fill(cv, P.line(newmask(), [(CX, 91), (CX - 1.5, 96)], 1.0), darker(self.skin, 0.6), flat=True)

    def hem(self, top, bottom, left, right, teeth=9):
        pts = [(left, top), (right, top)]
        step = (right - left) / teeth
        for i in range(teeth, -1, -1):
            x = left + i * step
            depth = bottom if i % 2 else bottom - 8 - (i * 7 % 5)
            pts.append((x, depth))
        return pts

    def torso_mask(self):
        m = P.polygon(newmask(), [(101, 115), (149, 115), (154, 126), (152, 212), (98, 212), (96, 126)])
        P.circle(m, 101, 122, 6.5)
        P.circle(m, 149, 122, 6.5)
        P.polygon(m, self.hem(195, 224, 98, 152, 10))
        return m

    def draw_torso(self, cv):
        P.fill(cv, P.limb(newmask(), [(CX, 106, 6), (CX, 118, 7)]), self.skin, soft=2, lo=0.55)
        coat = self.torso_mask()
        P.fill(cv, coat, self.rags, soft=8, lo=0.5, outline=darker(self.rags, 0.4))
        P.fill(cv, P.polygon(newmask(), [(114, 114), (136, 114), (CX, 134)]), P.scaled(self.skin, 0.85), soft=2,
               lo=0.6)
        P.fill(cv, P.polygon(newmask(), [(114, 114), (CX, 134), (118, 138), (108, 118)]), darker(self.rags, 0.75),
               soft=1.5)
        P.fill(cv, P.polygon(newmask(), [(136, 114), (CX, 134), (132, 138), (142, 118)]), darker(self.rags, 0.75),
               soft=1.5)
        for x, y, rx, ry in ((140, 155, 5, 7), (112, 180, 4, 5.5), (CX + 7, 196, 3.5, 4)):
            hole = P.polygon(newmask(), [(x - rx, y), (x - rx * 0.3, y - ry), (x + rx, y - ry * 0.4),
                                         (x + rx * 0.6, y + ry), (x - rx * 0.2, y + ry * 0.7)])
            P.fill(cv, hole, P.scaled(self.skin, 0.8), soft=1.5, lo=0.6, outline=darker(self.rags, 0.4))
        P.fill(cv, P.rect(newmask(), 98, 176, 152, 180), (150, 130, 90), soft=1, lo=0.7)
        for y in (146, 160):
            P.fill(cv, P.line(newmask(), [(CX - 2, y), (CX + 2, y + 4)], 0.9), (60, 50, 70), flat=True)
            P.fill(cv, P.line(newmask(), [(CX + 2, y), (CX - 2, y + 4)], 0.9), (60, 50, 70), flat=True)

    def draw_sleeve(self, cv, s, e, w):
        joints = self.sleeve_joints(s, e, w)
        m = P.limb(newmask(), joints)
        (x0, y0, _), (x, y, r) = joints[-2], joints[-1]
        # a torn edge: bite triangles out of the sleeve end
        tear(m, (x0, y0), (x, y), r, 3)
        P.fill(cv, m, self.rags, soft=3, lo=0.5, outline=darker(self.rags, 0.4))

    def draw_hand(self, cv, wrist, d, kind):
        r = self.hand_r
        hx, hy = wrist[0] + d[0] * r * 0.6, wrist[1] + d[1] * r * 0.6
        m = P.ellipse(newmask(), hx, hy, r * 0.85, r * 0.85)
        px, py = -d[1], d[0]
        spread = 1.0 if kind != "fist" else 0.5
        for k in (-0.8, 0.0, 0.8):
            bx, by = hx + px * k * r * 0.8, hy + py * k * r * 0.8
            tx = bx + (d[0] + px * k * 0.5 * spread) * r * 1.9
            ty = by + (d[1] + py * k * 0.5 * spread) * r * 1.9
            P.line(m, [(bx, by), (tx, ty)], r * 0.36)
        P.fill(cv, m, self.skin, soft=1.5, lo=0.6, outline=darker(self.skin, 0.45))

    def draw_leg(self, cv, pose):
        a, length = pose
        kx, ky = self.hip
        d = direction(a)
        ax, ay = kx + d[0] * self.shin * length, ky + d[1] * self.shin * length
        r0, r1, r2 = self.leg_r
        P.fill(cv, P.limb(newmask(), [(kx, ky, r0), (ax, ay, r2)]), self.skin, soft=2.5, lo=0.55,
               outline=darker(self.skin, 0.45))
        t = 0.42
        tx, ty = kx + (ax - kx) * t, ky + (ay - ky) * t
        cuff = P.limb(newmask(), [(kx, ky - 2, r0 + 1.6), (tx, ty, r1 + 2)])
        tear(cuff, (kx, ky), (tx, ty), r1 + 2, 3)
        P.fill(cv, cuff, self.trousers, soft=2.5, lo=0.55, outline=darker(self.trousers, 0.45))
        self.shoe(cv, (ax, ay), a, P.scaled(self.skin, 0.92), 1.0, toe=None)


CHARACTERS = [Bunny(), Pops(), Man(), Child(), Horror()]


def nonblack(img):
    return img.convert("L").point(lambda v: 255 if v else 0)


def blank_where(img, m):
    black = Image.new("RGB", img.size, (0, 0, 0))
    return Image.composite(black, img, m)


def used_box(images):
    right = bottom = 0
    for img in images:
        box = img.getbbox()
        if box:
            right, bottom = max(right, box[2]), max(bottom, box[3])
    return 0, 0, right, bottom


def render_set(ch):
    """Returns (head, [bodies], [legs]) as final-size images."""
    head_top, body_top, legs_top = ch.tops
    cv = canvas()
    ch.draw_head(cv)
    head_full = P.reduce(cv)
    head_mask = nonblack(head_full)

    cv = canvas()
    ch.draw_torso(cv)
    torso_only = P.reduce(cv)
    torso_mask = nonblack(torso_only)

    bodies = []
    for pose in ch.arm_poses:
        cv = canvas()
        ch.draw_torso(cv)
        ch.draw_arm(cv, pose)
        img = blank_where(P.reduce(cv), head_mask)
        bodies.append(img.crop((CX, 0, W, H)))

    legs = []
    for pose in ch.leg_poses:
        cv = canvas()
        ch.draw_leg(cv, pose)
        img = blank_where(P.reduce(cv), torso_mask)
        legs.append(img.crop((CX, 0, W, H)))

    box = head_full.getbbox()
    half = max(CX - box[0], box[2] - CX)
    head = head_full.crop((CX - half, head_top, CX + half, box[3]))

    # one size per part, only as wide and deep as the widest and deepest pose
    body_box = used_box(bodies)
    bodies = [b.crop((0, body_top, body_box[2], body_box[3])) for b in bodies]
    legs_box = used_box(legs)
    legs = [g.crop((0, legs_top, legs_box[2], legs_box[3])) for g in legs]
    return head, bodies, legs


def write_sets(data_dir):
    written = []
    for ch in CHARACTERS:
        head, bodies, legs = render_set(ch)
        folder = os.path.join(data_dir, "dance", ch.name)
        os.makedirs(folder, exist_ok=True)
        P.save_bmp(head, os.path.join(folder, "head1.bmp"))
        for i, b in enumerate(bodies, 1):
            P.save_bmp(b, os.path.join(folder, "body%d.bmp" % i))
        for i, g in enumerate(legs, 1):
            P.save_bmp(g, os.path.join(folder, "leg%d.bmp" % i))
        written.append(folder)
    return written
